#pragma once

#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityService.h"
#include "main/activity_core/ClearRange.h"
#include "main/activity_ui/ActivityStatus.h"

namespace tovarin {

// The record's submenu in the status menu, rebuilt whole for every showing. Pure.
namespace ActivitySubmenu {

inline constexpr const char* title = "活动记录";

enum class Action { none, togglePause, clear, openSettings };

struct Entry {
  bool separator = false;
  std::string title;
  Action action = Action::none;
  std::optional<ClearRange> range;  // for Action::clear
  bool enabled = false;
  bool operator==(const Entry&) const = default;
};

// On, the store readable and the record the signed-in account's own.
[[nodiscard]] bool isUsable(const ActivityService::Snapshot& snapshot);

// Status line, pause, the four clear ranges, settings; separators between the groups.
[[nodiscard]] std::vector<Entry> build(const ActivityStatus& status, const ActivityService::Snapshot& snapshot);

}  // namespace ActivitySubmenu
}  // namespace tovarin
