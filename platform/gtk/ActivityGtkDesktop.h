#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity_ui/ActivityUiDesktop.h"
#include "platform/linux/DesktopEntryIndex.h"

namespace tovarin {

class ActivityController;
class ActivitySettingsGtkWindow;

// The activity controller's windows on GTK: a chooser of the installed applications (from
// the index it shares with the record's desktop) and the settings window. Main loop only.
class ActivityGtkDesktop final : public ActivityUiDesktop {
 public:
  ActivityGtkDesktop(MainLoop& loop, std::shared_ptr<DesktopEntryIndex> entries);
  ~ActivityGtkDesktop() override;

  // The window renders this controller's model and sends it the user's changes.
  void setController(std::weak_ptr<ActivityController> controller) { controller_ = std::move(controller); }

  void chooseApplications(std::function<void(std::optional<std::vector<ChosenApp>>)> completion) override;
  void showSettingsWindow(std::function<void()> onClosed) override;

 private:
  MainLoop& loop_;
  const std::shared_ptr<DesktopEntryIndex> entries_;
  std::weak_ptr<ActivityController> controller_;
  std::unique_ptr<ActivitySettingsGtkWindow> window_;
};

}  // namespace tovarin
