#pragma once

#include <memory>
#include <optional>
#include <string>

#include "main/desktop/AppDesktop.h"

namespace tovarin {

class AboutGtkDialog;
class MenuGtkBar;
class MenuGtkDispatch;
class StatusItemIndicator;

// The desktop around the application on GTK: the menubar of the GtkApplication, the
// status indicator with the mark, the About dialog and activation. Main thread only;
// create it once GTK is initialised (from the application's launch).
class AppGtkDesktop final : public AppDesktop {
 public:
  struct Options {
    void* application = nullptr;  // the GtkApplication
    std::string indicatorId = "the-tovarin";
    // The bundle's mark ("TheTovarinMark.svg"); nullopt when the bundle has none.
    std::optional<std::string> markSvgPath;
    // Where the drawn mark is written (a per-user cache folder).
    std::string iconDirectory;
  };

  explicit AppGtkDesktop(Options options);
  ~AppGtkDesktop() override;

  void installMainMenu(const std::vector<MenuItem>& menus, std::weak_ptr<AppMenuTarget> target) override;
  void createStatusItem(const std::string& productName, std::weak_ptr<AppMenuTarget> target) override;
  void setStatusMenu(const std::vector<MenuItem>& items) override;
  void showAbout(const AboutInfo& info) override;
  void activateApplication() override;

  // For tests of the real menus.
  MenuGtkBar* menuBar() const { return menuBar_.get(); }
  StatusItemIndicator* statusItem() const { return statusItem_.get(); }
  AboutGtkDialog* about() const { return about_.get(); }
  MenuGtkDispatch& dispatch() const { return *dispatch_; }

 private:
  const Options options_;
  std::unique_ptr<MenuGtkDispatch> dispatch_;
  std::unique_ptr<MenuGtkBar> menuBar_;
  std::unique_ptr<StatusItemIndicator> statusItem_;
  std::unique_ptr<AboutGtkDialog> about_;
  std::optional<std::string> markPng_;
};

}  // namespace tovarin
