#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/page/Window.h"

namespace tovarin {

class GtkAppWindow;

// The Linux desktop around the windows: GTK windows, the display's monitors and the
// user's default browser. Lives on the main loop.
class GtkDesktop final : public Desktop {
 public:
  explicit GtkDesktop(MainLoop& loop);

  std::shared_ptr<Window> makeWindow(WindowStyle style, Size contentSize) override;
  std::vector<Screen> screens() const override;
  // Only http and https addresses leave for the browser; anything else is refused.
  void openInBrowser(const std::string& url) override;
  // Brings forward the window of this program the user used last, or the one this
  // program presented last if that came later.
  void activateApplication() override;

  // Whether openInBrowser would hand this address to the browser.
  [[nodiscard]] static bool isBrowserAddress(const std::string& url);

 private:
  MainLoop& loop_;
  std::vector<std::weak_ptr<GtkAppWindow>> windows_;
};

}  // namespace tovarin
