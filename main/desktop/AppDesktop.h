#pragma once

#include <memory>
#include <string>
#include <vector>

#include "main/desktop/AppIdentity.h"
#include "main/desktop/AppMenuTarget.h"
#include "main/desktop/MenuItem.h"

namespace tovarin {

// What the application delegate needs of the desktop around it: the menubar, the
// status item, the About window and activation. Main loop only. The target is held
// weakly; commands after it is gone are dropped.
class AppDesktop {
 public:
  virtual ~AppDesktop() = default;
  virtual void installMainMenu(const std::vector<MenuItem>& menus, std::weak_ptr<AppMenuTarget> target) = 0;
  // The status item with the mark as its image; productName describes it where the
  // image cannot be shown.
  virtual void createStatusItem(const std::string& productName, std::weak_ptr<AppMenuTarget> target) = 0;
  // Replaces the status item's whole menu.
  virtual void setStatusMenu(const std::vector<MenuItem>& items) = 0;
  virtual void showAbout(const AboutInfo& info) = 0;
  virtual void activateApplication() = 0;
};

}  // namespace tovarin
