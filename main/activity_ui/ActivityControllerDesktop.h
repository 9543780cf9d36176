#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityCapture.h"
#include "main/activity_ui/ActivityAppRows.h"

namespace tovarin {

// What the activity controller needs from the desktop it runs on: capture, trust, the
// page cookie, the installed and running applications, and the settings window.
// Main loop only, except automationStatus, which may block and runs off it.
class ActivityControllerDesktop {
 public:
  // An application the user picked to be recorded.
  struct ChosenApp {
    std::optional<std::string> id;  // none for a file that names no application
    std::string displayName;
  };

  virtual ~ActivityControllerDesktop() = default;
  // The capture, not started; null where nothing can be watched.
  virtual std::shared_ptr<ActivityCapture> makeCapture(ActivityCapture::Policy policy, ActivityCapture::Sink sink) = 0;
  // Asked afresh on every call.
  virtual bool accessibilityTrusted() = 0;
  virtual void requestAccessibility() = 0;
  // Session-only, HTTP-only, same-site strict, for the web views' shared store.
  virtual void setPageCookie(const std::string& host, const std::string& name, const std::string& value,
                             const std::string& path) = 0;
  virtual std::vector<ActivityAppRows::Running> runningApplications() = 0;
  virtual std::optional<std::string> installedName(const std::string& id) = 0;
  virtual bool supportsDomain(const std::string& id) = 0;
  // Any thread; never prompts.
  virtual std::int32_t automationStatus(const std::string& id) = 0;
  virtual void requestAutomation(const std::string& id, std::function<void()> completion) = 0;
  // Lets the user pick applications; none when cancelled.
  virtual void chooseApplications(std::function<void(std::optional<std::vector<ChosenApp>>)> completion) = 0;
  // Creates the settings window on the first call, then brings it forward; closing it
  // calls onClosed.
  virtual void showSettingsWindow(std::function<void()> onClosed) = 0;
};

}  // namespace tovarin
