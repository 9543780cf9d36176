// The staged program's sticky window under openbox, kept in step with the stand-in
// server's settings: a level chosen from the status menu reaches the server's data, a
// change on the server moves the window, and a change the page never takes rolls back
// with a notice.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>

#include "platform/linux/DbusConnection.h"
#include "tests/main/app/StagedProgramFixture.h"
#include "tests/support/PrivateWindowManager.h"

extern char** environ;

namespace tovarin {
namespace {

class StickySettingsWmTest : public StagedProgramFixture {
 protected:
  static void SetUpTestSuite() {
    windowManager_ = std::make_unique<PrivateWindowManager>();
    ASSERT_TRUE(windowManager_->start()) << windowManager_->error();  // 60 s: only ends a hung test
  }
  static void TearDownTestSuite() { windowManager_.reset(); }

  // The program is up, its widget page loaded, and its sticky window on screen because
  // the server's saved data says so.
  void startWithStickyShown() {
    const fs::path data = fs::path(root()) / "data" / "TheTovarin";
    fs::create_directories(data);
    std::ofstream(data / "calendar.json") << R"({"settings":{"floatingWindow":true,"stickyLevel":"floating"}})";
    program_ = start({});
    ASSERT_TRUE(program_);
    ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
    serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
    ASSERT_TRUE(eventually([&] { return pageLoads("widget") >= 1 && pageLoads("main") >= 1; }, 60))
        << readFile(logFile());
    ASSERT_TRUE(eventually([&] { return !stickyWindow().empty(); }, 20)) << readFile(logFile()) << describeWindows();
  }

  // The visible window of the program that is not the main window: the main window has
  // the product's title, the sticky window none, so it goes by the program's name.
  std::string stickyWindow() {
    if (run("/usr/bin/xdotool", {"search", "--onlyvisible", "--classname", "TheTovarin"}) != 0) return {};
    std::istringstream ids(lastOutput());
    for (std::string id; std::getline(ids, id);) {
      run("/usr/bin/xprop", {"-id", id, "_NET_WM_NAME", "_NET_WM_WINDOW_TYPE"});
      if (lastOutput().find("_NET_WM_NAME(UTF8_STRING) = \"TheTovarin\"") != std::string::npos &&
          lastOutput().find("_NET_WM_WINDOW_TYPE_NORMAL") != std::string::npos) {
        return id;
      }
    }
    return {};
  }
  std::string describeWindows() {
    std::string text;
    run("/usr/bin/xdotool", {"search", "--classname", "TheTovarin"});
    std::istringstream ids(lastOutput());
    for (std::string id; std::getline(ids, id);) {
      run("/usr/bin/xprop", {"-id", id, "_NET_WM_NAME", "_NET_WM_WINDOW_TYPE", "WM_STATE", "_NET_WM_STATE"});
      text += id + ":\n" + lastOutput();
    }
    return text;
  }
  std::string wmState() {
    const std::string id = stickyWindow();
    if (id.empty()) return "<no sticky window>";
    run("/usr/bin/xprop", {"-id", id, "_NET_WM_STATE"});
    return lastOutput();
  }
  bool keptAbove() { return wmState().find("_NET_WM_STATE_ABOVE") != std::string::npos; }
  bool keptBelow() { return wmState().find("_NET_WM_STATE_BELOW") != std::string::npos; }
  std::string serverLevel() {
    const auto data = get("/api/data");
    if (!data || !data->contains("data")) return {};
    return jsonString((*data)["data"]["settings"], "stickyLevel").value_or("");
  }
  // The status menu's level items are application actions on the bus; the argument is
  // the level's stored number (1 = normal, 2 = desktop, 3 = topmost).
  int chooseLevel(int raw) {
    return run("/usr/bin/gapplication",
               {"action", "com.orvik.TheTovarin", "set-sticky-level", "int64 " + std::to_string(raw)});
  }
  // The status menu's top-level labels as the indicator publishes them on the program's
  // bus, for whichever panel shows it; empty while nothing answers.
  std::vector<std::string> statusMenuLabels() {
    DbusConnection bus(bus_.address());
    GDBusConnection* connection = bus.ensure();
    if (!connection) return {};
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        connection, "com.orvik.TheTovarin", "/org/ayatana/NotificationItem/the_tovarin/Menu", "com.canonical.dbusmenu",
        "GetLayout", g_variant_new_parsed("(0, 1, @as [])"), G_VARIANT_TYPE("(u(ia{sv}av))"), G_DBUS_CALL_FLAGS_NONE,
        5000, nullptr, nullptr);
    if (!reply) return {};
    guint32 revision = 0;
    g_autoptr(GVariant) root = nullptr;
    g_variant_get(reply, "(u@(ia{sv}av))", &revision, &root);
    g_autoptr(GVariant) children = g_variant_get_child_value(root, 2);
    std::vector<std::string> labels;
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
      g_autoptr(GVariant) boxed = g_variant_get_child_value(children, i);
      g_autoptr(GVariant) child = g_variant_get_variant(boxed);
      g_autoptr(GVariant) properties = g_variant_get_child_value(child, 1);
      const char* label = nullptr;
      labels.emplace_back(g_variant_lookup(properties, "label", "&s", &label) ? label : "");
    }
    return labels;
  }
  bool statusMenuHas(const std::string& label) {
    const auto labels = statusMenuLabels();
    return std::find(labels.begin(), labels.end(), label) != labels.end();
  }
  std::string statusMenuText() {
    std::string text;
    for (const auto& label : statusMenuLabels()) text += label + " | ";
    return text;
  }

  void screenshot(const std::string& name) {
    const fs::path artifacts = fs::path(TOVARIN_BINARY_DIR) / "test-artifacts";
    fs::create_directories(artifacts);
    run("/usr/bin/import", {"-window", "root", (artifacts / name).string()});
  }

  static inline std::unique_ptr<PrivateWindowManager> windowManager_;
};

TEST_F(StickySettingsWmTest, MenuChoicesReachTheServerAndServerChangesMoveTheWindow) {
  ASSERT_NO_FATAL_FAILURE(startWithStickyShown());
  EXPECT_TRUE(eventually([&] { return keptAbove(); }, 20)) << "floating: " << wmState();

  ASSERT_EQ(chooseLevel(1), 0) << lastOutput();
  EXPECT_TRUE(eventually([&] { return !keptAbove() && !keptBelow(); }, 20)) << "normal: " << wmState();
  EXPECT_TRUE(eventually([&] { return serverLevel() == "normal"; }, 20)) << "the page wrote it to the server";

  // Another page changes the level on the server.
  ASSERT_EQ(post("/api/data", R"({"settings":{"stickyLevel":"desktop"}})"), 200);
  EXPECT_TRUE(eventually([&] { return keptBelow(); }, 20)) << "desktop: " << wmState();
  ASSERT_EQ(post("/api/data", R"({"settings":{"stickyLevel":"topmost"}})"), 200);
  EXPECT_TRUE(eventually([&] { return keptAbove(); }, 20)) << "topmost: " << wmState();

  // Confirmed changes stay: nothing rolls back after the confirmation time.
  std::this_thread::sleep_for(std::chrono::seconds(11));
  EXPECT_TRUE(keptAbove()) << wmState();
  EXPECT_EQ(serverLevel(), "topmost");
  EXPECT_EQ(visibleWindows(), 2) << "no notice";

  ASSERT_EQ(post("/api/data", R"({"settings":{"floatingWindow":false}})"), 200);
  EXPECT_TRUE(eventually([&] { return stickyWindow().empty(); }, 20)) << "the server hid the window";
}

// The server's saved setting put the window on screen at launch, with nobody choosing the
// menu's item: the item still offers to hide it, and follows the server and the user.
TEST_F(StickySettingsWmTest, TheStatusMenuNamesWhatItsStickyItemWillDo) {
  ASSERT_NO_FATAL_FAILURE(startWithStickyShown());
  EXPECT_TRUE(eventually([&] { return statusMenuHas("隐藏浮窗便利贴"); }, 20)) << statusMenuText();
  EXPECT_FALSE(statusMenuHas("显示浮窗便利贴")) << statusMenuText();

  ASSERT_EQ(post("/api/data", R"({"settings":{"floatingWindow":false}})"), 200);
  ASSERT_TRUE(eventually([&] { return stickyWindow().empty(); }, 20)) << "the server hid the window";
  EXPECT_TRUE(eventually([&] { return statusMenuHas("显示浮窗便利贴"); }, 20)) << statusMenuText();

  ASSERT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "toggle-sticky"}), 0) << lastOutput();
  ASSERT_TRUE(eventually([&] { return !stickyWindow().empty(); }, 20)) << "the user showed it";
  EXPECT_TRUE(eventually([&] { return statusMenuHas("隐藏浮窗便利贴"); }, 20)) << statusMenuText();
}

TEST_F(StickySettingsWmTest, AChangeThePageRefusesRollsBackAfterTenSecondsWithANotice) {
  staged_.addEnvironment("TOVARIN_TEST_WIDGET_STORE=refuse");
  ASSERT_NO_FATAL_FAILURE(startWithStickyShown());
  ASSERT_TRUE(eventually([&] { return keptAbove(); }, 20)) << "floating: " << wmState();

  ASSERT_EQ(chooseLevel(1), 0) << lastOutput();
  const auto chosen = std::chrono::steady_clock::now();
  ASSERT_TRUE(eventually([&] { return !keptAbove(); }, 5)) << "applied at once: " << wmState();
  EXPECT_TRUE(eventually([&] { return keptAbove(); }, 20)) << "rolled back: " << wmState();
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - chosen).count();
  EXPECT_GT(waited, 8.5) << "not before the confirmation time";
  EXPECT_EQ(serverLevel(), "floating") << "the refused change never reached the server";
  EXPECT_TRUE(eventually([&] { return visibleWindows() == 3; }, 10)) << "the notice is on screen";
  screenshot("StickySettingsRollback.png");
}

}  // namespace
}  // namespace tovarin
