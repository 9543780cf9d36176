#include "main/activity_ui/ActivityStatus.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using Kind = ActivityStatus::Kind;
using Snapshot = ActivityService::Snapshot;

Snapshot snapshotOf(bool enabled, ActivityStoreState state, ActivityOwnership ownership, bool paused = false,
                    bool kept = false) {
  Snapshot snapshot;
  snapshot.settings.enabled = enabled;
  snapshot.settings.paused = paused;
  snapshot.storeState = state;
  snapshot.ownership = ownership;
  snapshot.keptForOriginal = kept;
  return snapshot;
}

TEST(ActivityStatusTest, TheFirstRuleThatHoldsDecides) {
  const auto ready = ActivityStoreState::ready;
  const auto matched = ActivityOwnership::matched;
  struct Case {
    const char* name;
    Snapshot snapshot;
    bool opening;
    bool trusted;
    ActivityStatus expected;
  };
  const std::optional<std::string> front = "Terminal";
  const Case cases[] = {
      {"off wins over everything", snapshotOf(false, ActivityStoreState::keyMissing, ActivityOwnership::otherAccount, true),
       true, true, ActivityStatus::of(Kind::off)},
      {"opening wins over the store", snapshotOf(true, ActivityStoreState::keyLocked, matched), true, true,
       ActivityStatus::of(Kind::opening)},
      {"store not ready", snapshotOf(true, ActivityStoreState::keyLocked, matched), false, true,
       ActivityStatus::unavailable(ActivityStoreState::keyLocked)},
      {"paused before trust", snapshotOf(true, ready, matched, true), false, false, ActivityStatus::of(Kind::paused)},
      {"recording", snapshotOf(true, ready, matched), false, true, ActivityStatus::recording(front)},
      {"untrusted", snapshotOf(true, ready, matched), false, false, ActivityStatus::of(Kind::needsAccess)},
      {"other account kept", snapshotOf(true, ready, ActivityOwnership::otherAccount, true, true), false, true,
       ActivityStatus::otherAccount(true)},
      {"other account", snapshotOf(true, ready, ActivityOwnership::otherAccount), false, true,
       ActivityStatus::otherAccount(false)},
      {"signed out", snapshotOf(true, ready, ActivityOwnership::signedOut), false, true,
       ActivityStatus::of(Kind::signedOut)},
      {"unknown owner", snapshotOf(true, ready, ActivityOwnership::unknown), false, true,
       ActivityStatus::of(Kind::waitingForAccount)},
      {"unbound", snapshotOf(true, ready, ActivityOwnership::unbound), false, true, ActivityStatus::of(Kind::unbound)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ActivityStatus::derive(c.snapshot, c.opening, front, c.trusted), c.expected) << c.name;
  }
}

TEST(ActivityStatusTest, EveryStatusHasItsTitleAndLine) {
  struct Case {
    ActivityStatus status;
    const char* title;
    const char* line;
  };
  const Case cases[] = {
      {ActivityStatus::of(Kind::off), "活动记录", "未开启"},
      {ActivityStatus::of(Kind::opening), "活动记录 · 正在打开", "正在打开记录"},
      {ActivityStatus::of(Kind::waitingForAccount), "活动记录 · 确认账号", "正在确认登录的账号 · 暂不记录"},
      {ActivityStatus::of(Kind::signedOut), "活动记录 · 已退出账号", "已退出岚笺账号 · 不记录，对话也读不到"},
      {ActivityStatus::of(Kind::unbound), "活动记录 · 未绑定账号", "还没有绑定账号 · 不记录"},
      {ActivityStatus::of(Kind::needsAccess), "活动记录 · 需要权限", "需要「辅助功能」权限才能记录"},
      {ActivityStatus::of(Kind::paused), "活动记录 · 已暂停", "已暂停 · 不记录，对话也读不到"},
      {ActivityStatus::otherAccount(true), "活动记录 · 属于另一个账号",
       "已保留给原来的账号 · 当前账号读不到，也不记录"},
      {ActivityStatus::otherAccount(false), "活动记录 · 属于另一个账号",
       "属于另一个岚笺账号 · 当前账号读不到，也不记录"},
      {ActivityStatus::recording("Firefox"), "活动记录 · 记录中", "正在记录：Firefox"},
      {ActivityStatus::recording(std::nullopt), "活动记录 · 记录中", "正在记录 · 当前 App 不在勾选范围"},
      {ActivityStatus::unavailable(ActivityStoreState::keyMissing), "活动记录 · 暂不可用", "找不到解开记录的密钥"},
      {ActivityStatus::unavailable(ActivityStoreState::keyLocked), "活动记录 · 暂不可用", "记录暂时打不开"},
      {ActivityStatus::unavailable(ActivityStoreState::absent), "活动记录 · 暂不可用", "记录暂时打不开"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status.menuTitle(), c.title) << c.line;
    EXPECT_EQ(c.status.statusLine(), c.line) << c.title;
  }
}

TEST(ActivityStatusTest, PayloadsCountOnlyForTheirOwnCase) {
  EXPECT_EQ(ActivityStatus::recording(std::nullopt), ActivityStatus::recording(std::nullopt));
  EXPECT_NE(ActivityStatus::recording("A"), ActivityStatus::recording("B"));
  EXPECT_NE(ActivityStatus::recording("A"), ActivityStatus::recording(std::nullopt));
  EXPECT_NE(ActivityStatus::otherAccount(true), ActivityStatus::otherAccount(false));
  EXPECT_NE(ActivityStatus::unavailable(ActivityStoreState::keyMissing),
            ActivityStatus::unavailable(ActivityStoreState::keyLocked));
  ActivityStatus offWithLeftovers = ActivityStatus::of(Kind::off);
  offWithLeftovers.frontName = "stale";
  EXPECT_EQ(offWithLeftovers, ActivityStatus::of(Kind::off));
}

}  // namespace
}  // namespace tovarin
