#include "main/activity_ui/ActivityTexts.h"

#include "main/activity_core/ExclusionPolicy.h"

namespace tovarin::ActivityTexts {
namespace {

std::string number(int64_t value) { return std::to_string(value); }

template <typename T>
bool needsAccount(const ActivityServiceOutcome<T>& outcome) {
  const auto* refusal = outcome.error ? std::get_if<ActivityServiceError>(&*outcome.error) : nullptr;
  return refusal && *refusal == ActivityServiceError::needsAccount;
}

}  // namespace

ActivityConfirmation disableAndDelete() {
  return {"关闭并删除全部活动记录？",
          "会删除这台电脑上的全部活动记录、小时摘要和钥匙串里的密钥，不能恢复。已经记进卡片或档案的内容不受影响。",
          "关闭并删除"};
}

ActivityConfirmation clearAll() {
  return {"清除全部活动记录？", "会删除这台电脑上的全部活动记录和小时摘要，不能恢复。已经记进卡片或档案的内容不受影响。",
          "清除全部"};
}

ActivityConfirmation rebind() {
  return {"改绑到当前登录的账号？",
          "会删除这台电脑上的全部活动记录并换一把新密钥，之后只记当前账号的活动。原来的账号再也读不到这些记录。"
          "已经记进卡片或档案的内容不受影响。",
          "删除记录并改绑"};
}

ActivityConfirmation resetAfterKeyLoss() {
  return {"清掉解不开的记录，重新开始？",
          "这些记录的密钥读不到，已有记录无法解开。会删除它们并生成新的密钥，绑定当前登录的账号，之后重新开始记录。",
          "清掉并重新开始"};
}

std::optional<std::string> enableResult(ActivityService::EnableOutcome outcome) {
  switch (outcome) {
    case ActivityService::EnableOutcome::enabled: return std::nullopt;
    case ActivityService::EnableOutcome::needsAccount: return "先登录岚笺账号再开启：记录会绑定到开启时登录的账号。";
    case ActivityService::EnableOutcome::needsAccountChoice:
      return "这台电脑上已有属于另一个账号的活动记录，请在「所属账号」里选择。";
    case ActivityService::EnableOutcome::failed: return "没能打开记录。";
  }
  return "没能打开记录。";
}

std::string destroyResult(const ActivityServiceOutcome<ActivityDestroyCounts>& outcome) {
  if (!outcome.ok()) return destroyFailed;
  return "已关闭，删除了 " + number(outcome.value.intervalsDeleted) + " 段记录、" +
         number(outcome.value.summariesDeleted) + " 份小时摘要和密钥。";
}

std::string clearResult(const ActivityServiceOutcome<ActivityClearCounts>& outcome, ClearRange range) {
  return outcome.ok() ? describe(outcome.value, range) : "没清除成功，记录没有改动。";
}

std::string describe(const ActivityClearCounts& counts, ClearRange range) {
  std::string text = "已清除" + std::string(label(range)) + "：删除 " + number(counts.intervalsDeleted) + " 段记录、" +
                     number(counts.summariesDeleted) + " 份小时摘要";
  if (counts.intervalsTrimmed >= 1) text += "，另有 " + number(counts.intervalsTrimmed) + " 段去掉了清除时段里的部分";
  return text;
}

std::string rebindResult(const ActivityServiceOutcome<ActivityClearCounts>& outcome) {
  if (outcome.ok()) {
    return "已改绑到当前账号，删除了 " + number(outcome.value.intervalsDeleted) + " 段记录、" +
           number(outcome.value.summariesDeleted) + " 份小时摘要。";
  }
  return needsAccount(outcome) ? "先登录岚笺账号再改绑。" : "没能改绑，记录没有改动。";
}

std::string resetResult(const ActivityService::KeyLossReset& outcome) {
  if (outcome.ok()) return "已清掉 " + number(outcome.value.intervalsDeleted) + " 段解不开的记录，重新开始记录。";
  if (needsAccount(outcome)) return "先登录岚笺账号再重新开始。";
  // Once the wipe ran, "nothing changed" would be false: the records are gone.
  if (outcome.recordsWiped) return "已清掉解不开的记录，但没能生成新的密钥。请稍后再试。";
  return "没能重新开始，记录没有改动。";
}

std::string refusedInclude(ExclusionCategory category) {
  return std::string(ExclusionPolicy::label(category)) + "类 App 默认排除，不能勾选。";
}

std::optional<std::string> addAppResult(const std::vector<std::string>& refused) {
  if (refused.empty()) return std::nullopt;
  std::string text = "默认排除，没有添加：";
  for (size_t i = 0; i < refused.size(); ++i) text += (i ? "、" : "") + refused[i];
  return text;
}

std::string storedLine(const std::optional<ActivityStore::RowCounts>& counts) {
  if (!counts) return {};
  return "这台电脑上现有 " + number(counts->intervals) + " 段记录、" + number(counts->summaries) + " 份小时摘要";
}

}  // namespace tovarin::ActivityTexts
