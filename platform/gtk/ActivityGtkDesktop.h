#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity_ui/ActivityControllerDesktop.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/LinuxActivityPlatform.h"

namespace tovarin {

class ActivityController;
class ActivitySettingsGtkWindow;
class GtkWebViewProvider;

// The activity controller's desktop on Linux: capture over X11 and logind, the page
// cookie in the web views' shared store, installed applications from desktop entries,
// and the GTK settings window. Main loop only, except automationStatus.
class ActivityGtkDesktop final : public ActivityControllerDesktop {
 public:
  ActivityGtkDesktop(MainLoop& loop, GtkWebViewProvider& webViews);
  ~ActivityGtkDesktop() override;

  // The window renders this controller's model and sends it the user's changes.
  void setController(std::weak_ptr<ActivityController> controller) { controller_ = std::move(controller); }

  std::shared_ptr<ActivityCapture> makeCapture(ActivityCapture::Policy policy, ActivityCapture::Sink sink) override;
  bool accessibilityTrusted() override;
  void requestAccessibility() override;
  void setPageCookie(const std::string& host, const std::string& name, const std::string& value,
                     const std::string& path) override;
  std::vector<ActivityAppRows::Running> runningApplications() override;
  std::optional<std::string> installedName(const std::string& id) override;
  bool supportsDomain(const std::string& id) override;
  std::int32_t automationStatus(const std::string& id) override;
  void requestAutomation(const std::string& id, std::function<void()> completion) override;
  void chooseApplications(std::function<void(std::optional<std::vector<ChosenApp>>)> completion) override;
  void showSettingsWindow(std::function<void()> onClosed) override;

 private:
  void remember(const ActivityEvent& event);

  MainLoop& loop_;
  GtkWebViewProvider& webViews_;
  DesktopEntryIndex entries_;
  std::unique_ptr<LinuxActivityPlatform> platform_;
  std::shared_ptr<ActivityCapture> capture_;
  // The applications seen in front during this run, as capture identified them.
  std::vector<ActivityAppRows::Running> seen_;
  std::weak_ptr<ActivityController> controller_;
  std::unique_ptr<ActivitySettingsGtkWindow> window_;
};

}  // namespace tovarin
