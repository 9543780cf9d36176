#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityCapture.h"
#include "main/activity/SeenApplication.h"

namespace tovarin {

// What the activity record needs from the desktop it runs on: a capture to make, the
// trust capture depends on, the applications seen and installed, and whether a
// browser's page host can be read. Main loop only, except automationStatus, which may
// block and runs off it.
class ActivityCapturePlatform {
 public:
  virtual ~ActivityCapturePlatform() = default;
  // The capture, not started; null where nothing can be watched.
  virtual std::shared_ptr<ActivityCapture> makeCapture(ActivityCapture::Policy policy, ActivityCapture::Sink sink) = 0;
  // Asked afresh on every call.
  virtual bool accessibilityTrusted() = 0;
  virtual void requestAccessibility() = 0;
  virtual std::vector<SeenApplication> runningApplications() = 0;
  virtual std::optional<std::string> installedName(const std::string& id) = 0;
  virtual bool supportsDomain(const std::string& id) = 0;
  // Any thread; never prompts.
  virtual std::int32_t automationStatus(const std::string& id) = 0;
  virtual void requestAutomation(const std::string& id, std::function<void()> completion) = 0;
};

}  // namespace tovarin
