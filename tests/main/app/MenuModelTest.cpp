#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "main/app/MainMenu.h"
#include "main/desktop/AppIdentity.h"
#include "main/desktop/MenuCommand.h"
#include "main/desktop/MenuItem.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// One row per menu entry: "-" stands for a separator.
struct Row {
  std::string title;
  std::string action;
  std::string accelerator;
  std::string argument;  // the view name of a switch, else empty
};

std::vector<Row> rowsOf(const MenuItem& menu) {
  std::vector<Row> rows;
  for (const auto& item : menu.children) {
    if (item.kind == MenuItem::Kind::separator) {
      rows.push_back({"-", "", "", ""});
      continue;
    }
    const auto* view = std::get_if<std::string>(&item.argument);
    rows.push_back({item.title, std::string(MenuCommands::actionName(item.command)),
                    menuAccelerator(item.shortcut), view ? *view : ""});
  }
  return rows;
}

void expectRows(const MenuItem& menu, const std::vector<Row>& expected) {
  const auto rows = rowsOf(menu);
  ASSERT_EQ(rows.size(), expected.size()) << menu.title;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(menu.title + " #" + std::to_string(i));
    EXPECT_EQ(rows[i].title, expected[i].title);
    EXPECT_EQ(rows[i].action, expected[i].action);
    EXPECT_EQ(rows[i].accelerator, expected[i].accelerator);
    EXPECT_EQ(rows[i].argument, expected[i].argument);
  }
}

TEST(MainMenuTest, MenusInOrderWithTheirItemsActionsAndKeys) {
  const std::string name(AppIdentity::defaultProductName);
  const auto menus = MainMenu::build(name);
  ASSERT_EQ(menus.size(), 5u);
  for (const auto& menu : menus) EXPECT_EQ(menu.kind, MenuItem::Kind::submenu);

  EXPECT_EQ(menus[0].title, name);
  expectRows(menus[0], {
                           {"关于 The Tovarin｜岚笺", "show-about", "", ""},
                           {"-", "", "", ""},
                           {"设置…", "open-settings", "<Control>comma", ""},
                           {"配置 AI 助手…", "open-ai-settings", "", ""},
                           {"KELM 账户中心…", "open-kelm-center", "", ""},
                           {"-", "", "", ""},
                           {"隐藏 The Tovarin｜岚笺", "hide", "<Control>h", ""},
                           {"隐藏其他", "hide-others", "<Control><Alt>h", ""},
                           {"显示全部", "unhide-all", "", ""},
                           {"-", "", "", ""},
                           {"退出 The Tovarin｜岚笺", "quit", "<Control>q", ""},
                       });
  EXPECT_EQ(menus[1].title, "文件");
  expectRows(menus[1], {
                           {"新建日程", "new-event", "<Control>n", ""},
                           {"快速添加 / 问 AI", "quick-add", "<Control><Shift>n", ""},
                           {"整理材料…", "import-materials", "<Control>o", ""},
                           {"-", "", "", ""},
                           {"关闭窗口", "close-window", "<Control>w", ""},
                       });
  EXPECT_EQ(menus[2].title, "编辑");
  expectRows(menus[2], {
                           {"撤销", "undo", "<Control>z", ""},
                           {"重做", "redo", "<Control><Shift>z", ""},
                           {"-", "", "", ""},
                           {"剪切", "cut", "<Control>x", ""},
                           {"拷贝", "copy", "<Control>c", ""},
                           {"粘贴", "paste", "<Control>v", ""},
                           {"删除", "delete", "", ""},
                           {"全选", "select-all", "<Control>a", ""},
                       });
  EXPECT_EQ(menus[3].title, "显示");
  expectRows(menus[3], {
                           {"Hub", "open-tasks", "<Control>1", ""},
                           {"对话", "open-conversation", "<Control>2", ""},
                           {"事项", "open-matters", "<Control>3", ""},
                           {"日历", "open-calendar", "<Control>4", ""},
                           {"-", "", "", ""},
                           {"月", "switch-view", "<Control><Alt>1", "month"},
                           {"周", "switch-view", "<Control><Alt>2", "week"},
                           {"日", "switch-view", "<Control><Alt>3", "day"},
                           {"日程", "switch-view", "<Control><Alt>4", "agenda"},
                           {"年", "switch-view", "<Control><Alt>5", "year"},
                           {"-", "", "", ""},
                           {"今天", "go-today", "<Control>t", ""},
                           {"搜索", "focus-search", "<Control>f", ""},
                           {"命令面板", "open-palette", "<Control>k", ""},
                           {"-", "", "", ""},
                           {"重新连接本机服务", "reload-app", "<Control>r", ""},
                       });
  EXPECT_EQ(menus[4].title, "窗口");
  expectRows(menus[4], {
                           {"最小化", "minimize", "<Control>m", ""},
                           {"缩放", "zoom", "", ""},
                           {"-", "", "", ""},
                           {"主窗口", "show-main", "<Control>0", ""},
                           {"浮窗便利贴", "toggle-sticky", "<Control>s", ""},
                           {"-", "", "", ""},
                           {"前置全部窗口", "arrange-in-front", "", ""},
                       });
}

TEST(MainMenuTest, ProductNameFromTheBundleNamesTheApplicationItems) {
  const auto menus = MainMenu::build("岚笺测试版");
  const auto& app = menus[0].children;
  EXPECT_EQ(menus[0].title, "岚笺测试版");
  EXPECT_EQ(app.front().title, "关于 岚笺测试版");
  EXPECT_EQ(app[6].title, "隐藏 岚笺测试版");
  EXPECT_EQ(app.back().title, "退出 岚笺测试版");
}

TEST(MainMenuTest, NoTwoItemsShareAnAccelerator) {
  std::set<std::string> seen;
  for (const auto& menu : MainMenu::build("x")) {
    for (const auto& item : menu.children) {
      const std::string accelerator = menuAccelerator(item.shortcut);
      if (accelerator.empty()) continue;
      EXPECT_TRUE(seen.insert(accelerator).second) << accelerator << " on " << item.title;
    }
  }
}

TEST(MenuAcceleratorTest, KeysAndModifiers) {
  struct Case {
    MenuShortcut shortcut;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"n"}, "<Control>n"},
      {{"N"}, "<Control><Shift>n"},
      {{"z", false, true}, "<Control><Shift>z"},
      {{"h", true, false}, "<Control><Alt>h"},
      {{"3", true, false}, "<Control><Alt>3"},
      {{","}, "<Control>comma"},
      {{""}, ""},
      {{"ab"}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(menuAccelerator(c.shortcut), c.expected) << c.shortcut.key;
  }
}

TEST(MenuCommandsTest, ActionNamesAreDistinctAndRoundTrip) {
  std::set<std::string_view> names;
  for (MenuCommand command : MenuCommands::all()) {
    const auto name = MenuCommands::actionName(command);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << name;
    EXPECT_EQ(MenuCommands::fromActionName(name), command) << name;
  }
  EXPECT_EQ(MenuCommands::fromActionName("Toggle-Sticky"), std::nullopt);
  EXPECT_EQ(MenuCommands::fromActionName(""), std::nullopt);
  EXPECT_TRUE(MenuCommands::actionName(MenuCommand::none).empty());
}

TEST(MenuCommandsTest, DesktopCommandsAndArgumentKinds) {
  struct Case {
    MenuCommand command;
    bool desktop;
    MenuArgumentKind argument;
  };
  const std::vector<Case> cases = {
      {MenuCommand::showMain, false, MenuArgumentKind::none},
      {MenuCommand::showAbout, false, MenuArgumentKind::none},
      {MenuCommand::switchView, false, MenuArgumentKind::text},
      {MenuCommand::setStickyLevel, false, MenuArgumentKind::integer},
      {MenuCommand::setStickySpaceScope, false, MenuArgumentKind::integer},
      {MenuCommand::setStickyOpacity, false, MenuArgumentKind::number},
      {MenuCommand::hideApplication, true, MenuArgumentKind::none},
      {MenuCommand::quit, true, MenuArgumentKind::none},
      {MenuCommand::copy, true, MenuArgumentKind::none},
      {MenuCommand::arrangeInFront, true, MenuArgumentKind::none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(MenuCommands::actionName(c.command)));
    EXPECT_EQ(MenuCommands::isDesktopCommand(c.command), c.desktop);
    EXPECT_EQ(MenuCommands::argumentKind(c.command), c.argument);
  }
}

TEST(AppIdentityTest, NameAndVersionFallBackUnlessStrings) {
  struct Case {
    const char* info;
    std::string name;
    std::string version;
  };
  const std::vector<Case> cases = {
      {R"({})", "The Tovarin｜岚笺", "0.2.0"},
      {R"({"CFBundleDisplayName":"岚笺","CFBundleShortVersionString":"1.4.2"})", "岚笺", "1.4.2"},
      {R"({"CFBundleDisplayName":7,"CFBundleShortVersionString":["1"]})", "The Tovarin｜岚笺", "0.2.0"},
      {R"({"CFBundleDisplayName":null,"CFBundleShortVersionString":true})", "The Tovarin｜岚笺", "0.2.0"},
      {R"(["CFBundleDisplayName"])", "The Tovarin｜岚笺", "0.2.0"},
      {R"({"CFBundleDisplayName":""})", "", "0.2.0"},
  };
  for (const auto& c : cases) {
    TempDir resources;
    std::ofstream(resources.path() + "/Info.json") << c.info;
    const Bundle bundle(resources.path());
    EXPECT_EQ(AppIdentity::productName(bundle), c.name) << c.info;
    EXPECT_EQ(AppIdentity::version(bundle), c.version) << c.info;
  }
  EXPECT_EQ(AppIdentity::productName(Bundle()), AppIdentity::defaultProductName) << "no Info.json at all";
}

}  // namespace
}  // namespace tovarin
