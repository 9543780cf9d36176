#pragma once

#include <functional>
#include <map>
#include <string>

#include "main/server/StartupNotice.h"
#include "main/windows/StickyLevel.h"
#include "main/windows/StickySpaceScope.h"

namespace tovarin {

// What the application delegate needs of the sticky window. Main loop only.
class AppStickyWindow {
 public:
  virtual ~AppStickyWindow() = default;
  virtual void show() = 0;
  virtual void hide() = 0;
  virtual bool isVisible() const = 0;
  virtual StickyLevel level() const = 0;
  // Applies the level at once and tells the page and the server.
  virtual void setLevel(StickyLevel level) = 0;
  virtual StickySpaceScope spaceScope() const = 0;
  virtual void setSpaceScope(StickySpaceScope scope) = 0;
  virtual double opacity() const = 0;
  virtual void setOpacity(double opacity) = 0;
  virtual void load() = 0;
  virtual void showOffline(const StartupNotice& notice) = 0;
  virtual void syncFromServer() = 0;
  // After level, scope and opacity changes.
  virtual void setOnLevelChanged(std::function<void()> callback) = 0;
  // After the window came on screen or went off it, for whatever reason.
  virtual void setOnVisibilityChanged(std::function<void()> callback) = 0;
  // The sticky page asks to show a place in the main window.
  virtual void setOnNavigate(std::function<void(const std::map<std::string, std::string>&)> callback) = 0;
  // A link in the sticky page opened the bare main page.
  virtual void setOnShowMain(std::function<void()> callback) = 0;
};

}  // namespace tovarin
