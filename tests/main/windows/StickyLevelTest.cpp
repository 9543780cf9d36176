#include "main/windows/StickyLevel.h"

#include <gtest/gtest.h>

#include "main/windows/StickySpaceScope.h"

namespace tovarin {
namespace {

struct LevelRow {
  StickyLevel level;
  int64_t raw;
  std::string_view title;
  std::string_view name;
  std::optional<StickyLevel> higher;
  std::optional<StickyLevel> lower;
  WindowStacking stacking;
};

TEST(StickyLevelTest, EachLevelHasItsRawValueTitleNameNeighboursAndStacking) {
  const LevelRow rows[] = {
      {StickyLevel::topmost, 3, "高优先级置顶", "topmost", std::nullopt, StickyLevel::floating, WindowStacking::above},
      {StickyLevel::floating, 0, "置顶显示", "floating", StickyLevel::topmost, StickyLevel::main, WindowStacking::above},
      {StickyLevel::main, 4, "略高于普通窗口", "main", StickyLevel::floating, StickyLevel::normal, WindowStacking::above},
      {StickyLevel::normal, 1, "普通窗口", "normal", StickyLevel::main, StickyLevel::desktop, WindowStacking::normal},
      {StickyLevel::desktop, 2, "贴在桌面", "desktop", StickyLevel::normal, std::nullopt, WindowStacking::below},
  };
  for (const LevelRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(rawValue(row.level), row.raw);
    EXPECT_EQ(stickyLevelFromRaw(row.raw), row.level);
    EXPECT_EQ(title(row.level), row.title);
    EXPECT_EQ(settingName(row.level), row.name);
    EXPECT_EQ(stickyLevelFromName(row.name), row.level);
    EXPECT_EQ(higher(row.level), row.higher);
    EXPECT_EQ(lower(row.level), row.lower);
    EXPECT_EQ(windowStacking(row.level), row.stacking);
  }
}

TEST(StickyLevelTest, MenuOrderRunsFromHighestToLowest) {
  const std::array<StickyLevel, 5> expected = {StickyLevel::topmost, StickyLevel::floating, StickyLevel::main,
                                               StickyLevel::normal, StickyLevel::desktop};
  EXPECT_EQ(allStickyLevels, expected);
}

TEST(StickyLevelTest, ZeroWhichAnAbsentDefaultReadsAsIsFloating) {
  EXPECT_EQ(stickyLevelFromRaw(0), StickyLevel::floating);
}

TEST(StickyLevelTest, UnknownRawValuesAndNamesGiveNothing) {
  for (int64_t raw : {-1, 5, 100}) {
    EXPECT_FALSE(stickyLevelFromRaw(raw)) << raw;
  }
  for (std::string_view name : {"Topmost", "TOPMOST", "topmost ", "", "above"}) {
    EXPECT_FALSE(stickyLevelFromName(name)) << name;
  }
}

TEST(StickySpaceScopeTest, EachScopeHasItsRawValueTitleNameAndWorkspaces) {
  struct Row {
    StickySpaceScope scope;
    int64_t raw;
    std::string_view title;
    std::string_view name;
    bool allWorkspaces;
  };
  const Row rows[] = {
      {StickySpaceScope::current, 0, "仅当前桌面", "current", false},
      {StickySpaceScope::all, 1, "所有桌面", "all", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(rawValue(row.scope), row.raw);
    EXPECT_EQ(stickySpaceScopeFromRaw(row.raw), row.scope);
    EXPECT_EQ(title(row.scope), row.title);
    EXPECT_EQ(settingName(row.scope), row.name);
    EXPECT_EQ(stickySpaceScopeFromName(row.name), row.scope);
    EXPECT_EQ(isOnAllWorkspaces(row.scope), row.allWorkspaces);
  }
  const std::array<StickySpaceScope, 2> order = {StickySpaceScope::current, StickySpaceScope::all};
  EXPECT_EQ(allStickySpaceScopes, order);
}

TEST(StickySpaceScopeTest, UnknownRawValuesAndNamesGiveNothing) {
  for (int64_t raw : {-1, 2, 273}) {
    EXPECT_FALSE(stickySpaceScopeFromRaw(raw)) << raw;
  }
  for (std::string_view name : {"All", "CURRENT", "", "any"}) {
    EXPECT_FALSE(stickySpaceScopeFromName(name)) << name;
  }
}

}  // namespace
}  // namespace tovarin
