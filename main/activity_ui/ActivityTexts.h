#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityService.h"
#include "main/activity_core/ClearRange.h"
#include "main/activity_core/ExclusionCategory.h"

namespace tovarin {

// A question asked before records are deleted. The action button is destructive and
// Return answers "取消", so only a deliberate click deletes.
struct ActivityConfirmation {
  std::string title;
  std::string message;
  std::string action;
  bool operator==(const ActivityConfirmation&) const = default;
};

// The sentences the record's actions leave for the settings window. Pure; any thread.
namespace ActivityTexts {

inline constexpr const char* cancel = "取消";

[[nodiscard]] ActivityConfirmation disableAndDelete();
[[nodiscard]] ActivityConfirmation clearAll();
[[nodiscard]] ActivityConfirmation rebind();
[[nodiscard]] ActivityConfirmation resetAfterKeyLoss();

[[nodiscard]] std::optional<std::string> enableResult(ActivityService::EnableOutcome outcome);
[[nodiscard]] std::string destroyResult(const ActivityServiceOutcome<ActivityDestroyCounts>& outcome);
inline constexpr const char* destroyFailed = "已关闭，但没能删干净。点下面的「重试删除」再来一次。";
[[nodiscard]] std::string clearResult(const ActivityServiceOutcome<ActivityClearCounts>& outcome, ClearRange range);
// "已清除最近 1 小时：删除 3 段记录、1 份小时摘要，另有 1 段去掉了清除时段里的部分"
[[nodiscard]] std::string describe(const ActivityClearCounts& counts, ClearRange range);
[[nodiscard]] std::string rebindResult(const ActivityServiceOutcome<ActivityClearCounts>& outcome);
[[nodiscard]] std::string resetResult(const ActivityService::KeyLossReset& outcome);
[[nodiscard]] std::string refusedInclude(ExclusionCategory category);
// None when nothing was refused.
[[nodiscard]] std::optional<std::string> addAppResult(const std::vector<std::string>& refused);
// "这台电脑上现有 N 段记录、M 份小时摘要"; empty without counts.
[[nodiscard]] std::string storedLine(const std::optional<ActivityStore::RowCounts>& counts);

}  // namespace ActivityTexts
}  // namespace tovarin
