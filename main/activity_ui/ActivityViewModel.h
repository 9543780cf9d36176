#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "main/activity_core/ActivitySettings.h"
#include "main/activity_ui/ActivityAppRow.h"
#include "main/activity_ui/ActivityAutomation.h"
#include "main/activity_ui/ActivityStatus.h"

namespace tovarin {

// What the settings window shows. The controller writes it on the main thread; every
// write tells the observer, changed or not, so the window redraws from it alone.
class ActivityViewModel final {
 public:
  using Observer = std::function<void()>;

  const ActivitySettings& settings() const { return settings_; }
  const ActivityStatus& status() const { return status_; }
  bool accessibilityTrusted() const { return accessibilityTrusted_; }
  const std::vector<ActivityAppRow>& apps() const { return apps_; }
  const std::map<std::string, ActivityAutomation>& automation() const { return automation_; }
  const std::string& stored() const { return stored_; }
  const std::optional<std::string>& lastResult() const { return lastResult_; }
  bool destroyFailed() const { return destroyFailed_; }

  void setSettings(ActivitySettings value) { assign(settings_, std::move(value)); }
  void setStatus(ActivityStatus value) { assign(status_, std::move(value)); }
  void setAccessibilityTrusted(bool value) { assign(accessibilityTrusted_, value); }
  void setApps(std::vector<ActivityAppRow> value) { assign(apps_, std::move(value)); }
  void setAutomation(std::map<std::string, ActivityAutomation> value) { assign(automation_, std::move(value)); }
  void setStored(std::string value) { assign(stored_, std::move(value)); }
  void setLastResult(std::optional<std::string> value) { assign(lastResult_, std::move(value)); }
  void setDestroyFailed(bool value) { assign(destroyFailed_, value); }

  void setObserver(Observer observer) { observer_ = std::move(observer); }

 private:
  template <typename T, typename V>
  void assign(T& field, V&& value) {
    field = std::forward<V>(value);
    if (observer_) observer_();
  }

  ActivitySettings settings_;
  ActivityStatus status_;
  bool accessibilityTrusted_ = false;
  std::vector<ActivityAppRow> apps_;
  std::map<std::string, ActivityAutomation> automation_;
  std::string stored_;
  std::optional<std::string> lastResult_;
  bool destroyFailed_ = false;
  Observer observer_;
};

}  // namespace tovarin
