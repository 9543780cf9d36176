#include "main/activity_ui/ActivitySubmenu.h"

namespace tovarin::ActivitySubmenu {
namespace {

Entry separatorEntry() { return Entry{true, {}, Action::none, std::nullopt, false}; }

std::string clearTitle(ClearRange range) {
  if (range == ClearRange::all) return "清除全部记录…";
  return "清除" + std::string(label(range));
}

}  // namespace

bool isUsable(const ActivityService::Snapshot& snapshot) {
  return snapshot.settings.enabled && snapshot.storeState == ActivityStoreState::ready &&
         snapshot.ownership == ActivityOwnership::matched;
}

std::vector<Entry> build(const ActivityStatus& status, const ActivityService::Snapshot& snapshot) {
  const bool usable = isUsable(snapshot);
  std::vector<Entry> entries;
  entries.push_back({false, status.statusLine(), Action::none, std::nullopt, false});
  entries.push_back(separatorEntry());
  entries.push_back({false, snapshot.settings.paused ? "继续记录" : "暂停记录", Action::togglePause, std::nullopt, usable});
  entries.push_back(separatorEntry());
  for (ClearRange range : allClearRanges) entries.push_back({false, clearTitle(range), Action::clear, range, usable});
  entries.push_back(separatorEntry());
  entries.push_back({false, "活动记录设置…", Action::openSettings, std::nullopt, true});
  return entries;
}

}  // namespace tovarin::ActivitySubmenu
