#include "main/activity_ui/ActivitySubmenu.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using Action = ActivitySubmenu::Action;

ActivityService::Snapshot snapshotOf(bool enabled, ActivityStoreState state, ActivityOwnership ownership,
                                     bool paused = false) {
  ActivityService::Snapshot snapshot;
  snapshot.settings.enabled = enabled;
  snapshot.settings.paused = paused;
  snapshot.storeState = state;
  snapshot.ownership = ownership;
  return snapshot;
}

TEST(ActivitySubmenuTest, ListsStatusPauseRangesAndSettingsInTheirGroups) {
  const auto entries = ActivitySubmenu::build(ActivityStatus::recording("Files"),
                                              snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::matched));
  std::vector<std::string> titles;
  for (const auto& entry : entries) titles.push_back(entry.separator ? "---" : entry.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"正在记录：Files", "---", "暂停记录", "---", "清除最近 10 分钟",
                                              "清除最近 1 小时", "清除最近 1 天", "清除全部记录…", "---",
                                              "活动记录设置…"}));
  EXPECT_FALSE(entries[0].enabled);
  EXPECT_EQ(entries[4].range, ClearRange::last10Minutes);
  EXPECT_EQ(entries[7].range, ClearRange::all);
  EXPECT_EQ(entries[9].action, Action::openSettings);
}

TEST(ActivitySubmenuTest, PauseAndClearNeedAUsableRecordSettingsNeverDoes) {
  struct Case {
    const char* name;
    ActivityService::Snapshot snapshot;
    bool usable;
  };
  const Case cases[] = {
      {"off", snapshotOf(false, ActivityStoreState::ready, ActivityOwnership::matched), false},
      {"usable", snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::matched), true},
      {"usable while paused", snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::matched, true), true},
      {"another account", snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::otherAccount), false},
      {"signed out", snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::signedOut), false},
      {"key missing", snapshotOf(true, ActivityStoreState::keyMissing, ActivityOwnership::matched), false},
  };
  for (const Case& c : cases) {
    for (const auto& entry : ActivitySubmenu::build(ActivityStatus(), c.snapshot)) {
      if (entry.separator) continue;
      const bool expected = entry.action == Action::openSettings || (entry.action != Action::none && c.usable);
      EXPECT_EQ(entry.enabled, expected) << c.name << ": " << entry.title;
    }
  }
}

TEST(ActivitySubmenuTest, PauseItemFollowsTheSettingNotTheStatus) {
  const auto paused = ActivitySubmenu::build(ActivityStatus::of(ActivityStatus::Kind::signedOut),
                                             snapshotOf(true, ActivityStoreState::ready, ActivityOwnership::matched, true));
  EXPECT_EQ(paused[2].title, "继续记录");
  EXPECT_EQ(paused[0].title, "已退出岚笺账号 · 不记录，对话也读不到");
}

}  // namespace
}  // namespace tovarin
