#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity/ActivityCapturePlatform.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/LinuxActivityPlatform.h"

namespace tovarin {

// The activity record's desktop on Linux: capture over X11 and logind (watching begins
// with the first capture made), the applications seen in front during this run, and
// installed applications from desktop entries. Main loop only, except automationStatus.
class LinuxActivityCapturePlatform final : public ActivityCapturePlatform {
 public:
  // The options go to the platform the first capture makes; its application folders and
  // locale name the installed applications too.
  explicit LinuxActivityCapturePlatform(MainLoop& loop, LinuxActivityPlatform::Options options = {});
  ~LinuxActivityCapturePlatform() override;

  std::shared_ptr<ActivityCapture> makeCapture(ActivityCapture::Policy policy, ActivityCapture::Sink sink) override;
  bool accessibilityTrusted() override;
  void requestAccessibility() override;
  std::vector<SeenApplication> runningApplications() override { return seen_; }
  std::optional<std::string> installedName(const std::string& id) override;
  bool supportsDomain(const std::string& id) override;
  std::int32_t automationStatus(const std::string& id) override;
  void requestAutomation(const std::string& id, std::function<void()> completion) override;

  // The installed applications, shared with the chooser so that a reload there names
  // what is installed here too.
  const std::shared_ptr<DesktopEntryIndex>& entries() const { return entries_; }

 private:
  void remember(const ActivityEvent& event);

  MainLoop& loop_;
  const LinuxActivityPlatform::Options options_;
  const std::shared_ptr<DesktopEntryIndex> entries_;
  std::unique_ptr<LinuxActivityPlatform> platform_;
  std::shared_ptr<ActivityCapture> capture_;
  // The applications seen in front during this run, as capture identified them.
  std::vector<SeenApplication> seen_;
};

}  // namespace tovarin
