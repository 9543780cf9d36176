#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/GtkDesktop.h"

namespace tovarin {

// The real desktop, except that what would open the user's browser is only recorded.
class BrowserRecordingDesktop final : public Desktop {
 public:
  explicit BrowserRecordingDesktop(MainLoop& loop) : desktop_(loop) {}
  std::shared_ptr<Window> makeWindow(WindowStyle style, Size contentSize) override {
    return desktop_.makeWindow(style, contentSize);
  }
  std::vector<Screen> screens() const override { return desktop_.screens(); }
  void openInBrowser(const std::string& url) override { browserUrls.push_back(url); }
  void activateApplication() override { desktop_.activateApplication(); }

  std::vector<std::string> browserUrls;

 private:
  GtkDesktop desktop_;
};

}  // namespace tovarin
