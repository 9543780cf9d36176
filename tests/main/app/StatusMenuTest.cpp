#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/app/StatusMenu.h"

namespace tovarin {
namespace {

StatusMenu::State baseState() {
  StatusMenu::State state;
  state.productName = "The Tovarin｜岚笺";
  state.levels = {{"高优先级置顶", 3, false},
                  {"置顶显示", 0, true},
                  {"略高于普通窗口", 4, false},
                  {"普通窗口", 1, false},
                  {"贴在桌面", 2, false}};
  state.canRaise = true;
  state.canLower = true;
  state.scopes = {{"仅当前桌面", 0, true}, {"所有桌面", 1, false}};
  state.opacity = 1.0;
  return state;
}

const MenuItem& submenuTitled(const std::vector<MenuItem>& items, const std::string& title) {
  for (const auto& item : items) {
    if (item.kind == MenuItem::Kind::submenu && item.title == title) return item;
  }
  ADD_FAILURE() << "no submenu " << title;
  static const MenuItem none;
  return none;
}

TEST(StatusMenuTest, TopLevelItemsInOrder) {
  struct Expected {
    MenuItem::Kind kind;
    std::string title;
    MenuCommand command;
  };
  const std::vector<Expected> expected = {
      {MenuItem::Kind::command, "打开The Tovarin｜岚笺", MenuCommand::showMain},
      {MenuItem::Kind::command, "打开对话", MenuCommand::openConversation},
      {MenuItem::Kind::command, "打开 Hub", MenuCommand::openTasks},
      {MenuItem::Kind::command, "整理材料…", MenuCommand::importMaterials},
      {MenuItem::Kind::command, "显示浮窗便利贴", MenuCommand::toggleSticky},
      {MenuItem::Kind::separator, "", MenuCommand::none},
      {MenuItem::Kind::submenu, "浮窗层级", MenuCommand::none},
      {MenuItem::Kind::submenu, "浮窗显示范围", MenuCommand::none},
      {MenuItem::Kind::submenu, "浮窗不透明度", MenuCommand::none},
      {MenuItem::Kind::separator, "", MenuCommand::none},
      {MenuItem::Kind::command, "快速添加 / 问 AI", MenuCommand::quickAdd},
      {MenuItem::Kind::command, "配置 AI 助手…", MenuCommand::openAiSettings},
      {MenuItem::Kind::separator, "", MenuCommand::none},
      {MenuItem::Kind::command, "退出", MenuCommand::quit},
  };
  const auto items = StatusMenu::build(baseState());
  ASSERT_EQ(items.size(), expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].kind, expected[i].kind);
    EXPECT_EQ(items[i].title, expected[i].title);
    EXPECT_EQ(items[i].command, expected[i].command);
    // Only the last item has a key.
    EXPECT_EQ(items[i].shortcut.empty(), i + 1 != items.size());
  }
  EXPECT_EQ(menuAccelerator(items.back().shortcut), "<Control>q");
}

TEST(StatusMenuTest, ActivityItemTakesItsPlaceWithItsSeparator) {
  auto state = baseState();
  state.activityItem = MenuItem::submenu("活动记录：已暂停", {MenuItem::action("x", MenuCommand::none)});
  const auto items = StatusMenu::build(state);
  ASSERT_EQ(items.size(), 16u);
  EXPECT_EQ(items[9].kind, MenuItem::Kind::separator);
  EXPECT_EQ(items[10], *state.activityItem);
  EXPECT_EQ(items[11].kind, MenuItem::Kind::separator);
  EXPECT_EQ(items[12].title, "快速添加 / 问 AI");
}

TEST(StatusMenuTest, StickyItemFollowsVisibility) {
  for (bool visible : {true, false}) {
    auto state = baseState();
    state.stickyVisible = visible;
    EXPECT_EQ(StatusMenu::build(state)[4].title, visible ? "隐藏浮窗便利贴" : "显示浮窗便利贴");
  }
}

TEST(StatusMenuTest, LevelSubmenuCarriesTagsChecksAndRaiseLowerState) {
  struct Case {
    bool canRaise;
    bool canLower;
  };
  for (const Case c : {Case{false, true}, Case{true, false}, Case{true, true}}) {
    auto state = baseState();
    state.canRaise = c.canRaise;
    state.canLower = c.canLower;
    const auto menu = StatusMenu::build(state);
    const auto& levels = submenuTitled(menu, "浮窗层级").children;
    ASSERT_EQ(levels.size(), 8u);
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(levels[i].title, state.levels[i].title);
      EXPECT_EQ(levels[i].command, MenuCommand::setStickyLevel);
      EXPECT_EQ(levels[i].argument, MenuArgument(state.levels[i].tag));
      EXPECT_EQ(levels[i].checked, state.levels[i].current);
    }
    EXPECT_EQ(levels[5].kind, MenuItem::Kind::separator);
    EXPECT_EQ(levels[6].title, "上移一层");
    EXPECT_EQ(levels[6].command, MenuCommand::raiseSticky);
    EXPECT_EQ(levels[6].enabled, c.canRaise);
    EXPECT_EQ(levels[7].title, "下移一层");
    EXPECT_EQ(levels[7].command, MenuCommand::lowerSticky);
    EXPECT_EQ(levels[7].enabled, c.canLower);
  }
}

TEST(StatusMenuTest, ScopeSubmenuCarriesTagsAndCheck) {
  auto state = baseState();
  state.scopes = {{"仅当前桌面", 0, false}, {"所有桌面", 1, true}};
  const auto menu = StatusMenu::build(state);
  const auto& scopes = submenuTitled(menu, "浮窗显示范围").children;
  ASSERT_EQ(scopes.size(), 2u);
  EXPECT_EQ(scopes[0].title, "仅当前桌面");
  EXPECT_EQ(scopes[0].argument, MenuArgument(int64_t{0}));
  EXPECT_FALSE(scopes[0].checked);
  EXPECT_EQ(scopes[1].title, "所有桌面");
  EXPECT_EQ(scopes[1].argument, MenuArgument(int64_t{1}));
  EXPECT_TRUE(scopes[1].checked);
  EXPECT_EQ(scopes[1].command, MenuCommand::setStickySpaceScope);
}

TEST(StatusMenuTest, OpacityTitlesArgumentsAndCheckMarks) {
  struct Case {
    double opacity;
    std::vector<bool> checks;  // 100%, 90%, 75%, 60%
  };
  const std::vector<Case> cases = {
      {1.0, {true, false, false, false}},
      {0.905, {false, true, false, false}},
      {0.92, {false, false, false, false}},
      {0.7401, {false, false, true, false}},
      {0.59, {false, false, false, false}},
      {0.6, {false, false, false, true}},
      {0.0, {false, false, false, false}},
  };
  for (const auto& c : cases) {
    auto state = baseState();
    state.opacity = c.opacity;
    const auto menu = StatusMenu::build(state);
    const auto& steps = submenuTitled(menu, "浮窗不透明度").children;
    ASSERT_EQ(steps.size(), 4u);
    const std::vector<std::string> titles = {"100%", "90%", "75%", "60%"};
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::to_string(c.opacity) + " " + titles[i]);
      EXPECT_EQ(steps[i].title, titles[i]);
      EXPECT_EQ(steps[i].command, MenuCommand::setStickyOpacity);
      EXPECT_EQ(steps[i].argument, MenuArgument(StatusMenu::opacitySteps[i]));
      EXPECT_EQ(steps[i].checked, c.checks[i]);
    }
  }
}

TEST(StatusMenuTest, OpacityTitleTruncates) {
  EXPECT_EQ(StatusMenu::opacityTitle(0.29), "28%");  // 28.999… truncated, as the menu does
  EXPECT_EQ(StatusMenu::opacityTitle(0.999), "99%");
  EXPECT_EQ(StatusMenu::opacityTitle(0.6), "60%");
}

}  // namespace
}  // namespace tovarin
