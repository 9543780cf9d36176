#pragma once

#include <memory>
#include <string>
#include <vector>

#include "main/page/Window.h"
#include "tests/support/FakeWindow.h"

namespace tovarin {

// A desktop of FakeWindows with screens the test sets. Records the addresses handed to
// the browser. Test thread only.
class FakeDesktop final : public Desktop {
 public:
  // One 1440 x 900 screen with a 25-point top panel, unless the test sets others.
  FakeDesktop();

  std::shared_ptr<Window> makeWindow(WindowStyle style, Size contentSize) override;
  std::vector<Screen> screens() const override { return screens_; }
  void openInBrowser(const std::string& url) override { browserUrls_.push_back(url); }
  void activateApplication() override { ++activations_; }

  void setScreens(std::vector<Screen> screens) { screens_ = std::move(screens); }
  const std::vector<std::shared_ptr<FakeWindow>>& windows() const { return windows_; }
  std::shared_ptr<FakeWindow> lastWindow() const { return windows_.empty() ? nullptr : windows_.back(); }
  const std::vector<std::string>& browserUrls() const { return browserUrls_; }
  int activationCount() const { return activations_; }

  static Screen screen(Rect frame, Rect visibleFrame) { return Screen{frame, visibleFrame}; }

 private:
  std::vector<Screen> screens_;
  std::vector<std::shared_ptr<FakeWindow>> windows_;
  std::vector<std::string> browserUrls_;
  int activations_ = 0;
};

}  // namespace tovarin
