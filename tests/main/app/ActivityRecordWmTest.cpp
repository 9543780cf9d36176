// The activity record in the real program under a window manager: a keyring of the test's own on the test's
// bus, two real windows of applications the user ticked, the record switched on from
// its settings window, the stand-in server reporting the account and reading the
// record back through the program's socket.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "platform/linux/SecretServiceKeyStore.h"
#include "tests/main/app/StagedProgramFixture.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/PrivateWindowManager.h"

namespace tovarin {
namespace {

const std::string kOwner(64, 'e');

class ActivityRecordWmTest : public StagedProgramFixture {
 protected:
  void startWindowManager() {
    windowManager_ = std::make_unique<PrivateWindowManager>();
    ASSERT_TRUE(windowManager_->start(environment())) << windowManager_->error();  // 60 s: only ends a hung test
  }

  // A tray for the status item; the indicator falls back to it when no other host is there.
  void startTray() {
    auto launch = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28", "--SetDockType", "true",
         "--transparent", "false", "--tint", "0x303030"},
        root(), environment(), false, false});
    ASSERT_TRUE(launch.process) << launch.error;
    windows_.push_back(launch.process);
  }

  // The middle of the status item in the tray: the tray's window grows past a
  // placeholder's width once the item docks.
  std::optional<std::pair<int, int>> statusItemPoint() {
    if (run("/usr/bin/xdotool", {"search", "--class", "trayer"}) != 0) return std::nullopt;
    std::istringstream ids(lastOutput());
    std::optional<std::pair<int, int>> point;
    for (std::string id; std::getline(ids, id);) {
      if (run("/usr/bin/xdotool", {"getwindowgeometry", "--shell", id}) != 0) continue;
      std::map<std::string, int> geometry;
      std::istringstream lines(lastOutput());
      for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) geometry[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
      }
      if (geometry["WIDTH"] > 10) {
        point = std::make_pair(geometry["X"] + geometry["WIDTH"] - 14, geometry["Y"] + geometry["HEIGHT"] / 2);
      }
    }
    return point;
  }

  // How many pixels two screenshots differ in.
  long differingPixels(const fs::path& a, const fs::path& b) {
    run("/bin/sh", {"-c", "/usr/bin/compare -metric AE \"$0\" \"$1\" null: 2>&1", a.string(), b.string()});
    return std::atol(lastOutput().c_str());
  }

  ~ActivityRecordWmTest() override {
    for (auto& window : windows_) {
      window->signal(SIGKILL);
      (void)window->wait();
    }
  }

  // gnome-keyring with an unlocked login keyring, before anything asks the bus for it.
  void startKeyring() {
    ASSERT_TRUE(keyring_.start(bus_.address(), environment(), 20)) << keyring_.error();
    SecretServiceKeyStore probe(root() + "/probe", bus_.address());
    ASSERT_TRUE(eventually([&] { return probe.save("k_probe", SecretBytes{1}).ok(); }, 20));
  }

  void writeDesktopEntry(const std::string& id, const std::string& name) {
    const fs::path apps = fs::path(root()) / "data" / "applications";
    fs::create_directories(apps);
    std::ofstream(apps / (id + ".desktop")) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=true\n";
  }

  std::shared_ptr<ChildProcess> openWindow(const std::string& id, const std::string& title) {
    auto launch = ChildProcess::launch(ChildProcessOptions{TOVARIN_BINARY_DIR "/tests/tovarin_x_test_window",
                                                           {"--title", title, "--gtk-id", id},
                                                           root(),
                                                           environment(),
                                                           false,
                                                           false});
    EXPECT_TRUE(launch.process) << launch.error;
    if (launch.process) windows_.push_back(launch.process);
    return launch.process;
  }

  std::vector<std::string> programWindows() {
    std::vector<std::string> ids;
    if (run("/usr/bin/xdotool", {"search", "--onlyvisible", "--classname", "TheTovarin"}) != 0) return ids;
    std::istringstream lines(lastOutput());
    for (std::string line; std::getline(lines, line);) ids.push_back(line);
    return ids;
  }

  std::string windowNamed(const std::string& name) {
    if (run("/usr/bin/xdotool", {"search", "--name", name}) != 0) return {};
    return lastOutput().substr(0, lastOutput().find('\n'));
  }

  void focus(const std::string& window) { run("/usr/bin/xdotool", {"windowactivate", "--sync", window}); }

  // The program is up, its server running, and the server has named the signed-in
  // account through the bridge.
  void startWithTheAccountReported() {
    program_ = start({});
    ASSERT_TRUE(program_);
    ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
    serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
    EXPECT_FALSE(logHas("activity bridge unavailable")) << readFile(logFile());
    ASSERT_EQ(post("/api/activity/owner", Json{{"owner", kOwner}}.dump()), 200) << readFile(logFile());
  }

  // The settings window, from the status menu's action; its first control is the switch.
  std::string openSettingsWindow() {
    const std::vector<std::string> before = programWindows();
    EXPECT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "activity-settings"}), 0) << lastOutput();
    std::string settings;
    EXPECT_TRUE(eventually(
        [&] {
          for (const std::string& id : programWindows()) {
            if (std::find(before.begin(), before.end(), id) == before.end()) settings = id;
          }
          return !settings.empty();
        },
        20))
        << readFile(logFile());
    return settings;
  }

  fs::path defaultsFile() const { return fs::path(root()) / "config" / "TheTovarin" / "defaults.json"; }
  bool recordSwitchedOn() { return readFile(defaultsFile()).find("\\\"enabled\\\":true") != std::string::npos; }

  // The reply line of a request sent to the program's socket with the real token.
  std::optional<Json> throughTheSocket(const std::string& line) {
    const Json request{{"line", line}, {"mode", "send"}, {"token", true}};
    const HttpResponse response = staged_.request("POST", "/__test/activity/raw", request.dump(), 10);
    auto answer = parseJson(response.responded ? response.body : "");
    if (!answer || !answer->contains("reply") || !(*answer)["reply"].is_string()) return std::nullopt;
    return parseJson((*answer)["reply"].get<std::string>());
  }

  static std::string today() {
    char text[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
  }

  // The record adds time up by the hour and leaves out rows under half a minute: a
  // 40 s stretch that the hour (or the day the query names) cuts in two can vanish
  // from both sides. Near the end of an hour the stretches start after it instead.
  static void waitOutTheHourIfItEndsSoon() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int secondsLeft = 3600 - (local.tm_min * 60 + local.tm_sec);
    if (secondsLeft < 150) std::this_thread::sleep_for(std::chrono::seconds(secondsLeft + 2));
  }

  void screenshot(const std::string& name) {
    const fs::path artifacts = fs::path(TOVARIN_BINARY_DIR) / "test-artifacts";
    fs::create_directories(artifacts);
    run("/usr/bin/import", {"-window", "root", (artifacts / name).string()});
  }

  std::unique_ptr<PrivateWindowManager> windowManager_;
  PrivateKeyring keyring_;
  std::vector<std::shared_ptr<ChildProcess>> windows_;
};

TEST_F(ActivityRecordWmTest, RecordsTwoTickedWindowsAndTheServerReadsThemBackThroughTheSocket) {
  startWindowManager();
  startKeyring();
  writeDesktopEntry("org.example.Editor", "Editor");
  writeDesktopEntry("org.example.Viewer", "Viewer");
  // The user ticked both apps earlier; the record itself is off.
  fs::create_directories(fs::path(root()) / "config" / "TheTovarin");
  std::ofstream(fs::path(root()) / "config" / "TheTovarin" / "defaults.json")
      << R"({"TovarinActivity.settings":"{\"enabled\":false,\"included\":[\"org.example.Editor\",\"org.example.Viewer\"]}"})";
  staged_.addEnvironment("TOVARIN_TEST_ACTIVITY_RAW=1");

  ASSERT_NO_FATAL_FAILURE(startWithTheAccountReported());
  const std::string settings = openSettingsWindow();
  ASSERT_FALSE(settings.empty());
  run("/usr/bin/xdotool", {"getwindowname", settings});
  EXPECT_EQ(lastOutput(), "活动记录\n");
  focus(settings);
  run("/usr/bin/xdotool", {"key", "Tab"});
  run("/usr/bin/xdotool", {"key", "space"});
  ASSERT_TRUE(eventually([&] { return recordSwitchedOn(); }, 20)) << readFile(defaultsFile()) << readFile(logFile());
  screenshot("ActivitySettings.png");

  // Two real windows of the ticked apps, one after the other in front.
  auto editor = openWindow("org.example.Editor", "Draft one");
  auto viewer = openWindow("org.example.Viewer", "Report two");
  std::string editorWindow, viewerWindow;
  ASSERT_TRUE(eventually([&] { return !(editorWindow = windowNamed("^Draft one$")).empty(); }, 20));
  ASSERT_TRUE(eventually([&] { return !(viewerWindow = windowNamed("^Report two$")).empty(); }, 20));
  waitOutTheHourIfItEndsSoon();
  focus(editorWindow);
  std::this_thread::sleep_for(std::chrono::seconds(40));  // a stretch under half a minute is not worth reporting
  focus(viewerWindow);
  std::this_thread::sleep_for(std::chrono::seconds(40));  // a stretch under half a minute is not worth reporting
  focus(editorWindow);

  const std::string query = R"({"v":1,"token":"$TOKEN","op":"query","owner":")" + kOwner +
                            R"(","args":{"from":")" + today() + R"(","to":")" + today() + "\"}}\n";
  std::optional<Json> reply;
  ASSERT_TRUE(eventually(
      [&] {
        reply = throughTheSocket(query);
        return reply && reply->contains("result") && (*reply)["result"]["items"].size() >= 2;
      },
      30))
      << (reply ? reply->dump() : "no reply") << readFile(logFile());
  std::set<std::string> apps, titles;
  for (const Json& item : (*reply)["result"]["items"]) {
    apps.insert(item.value("app", ""));
    titles.insert(item.value("title", ""));
  }
  EXPECT_TRUE(apps.count("Editor") || apps.count("org.example.Editor")) << reply->dump();
  EXPECT_TRUE(apps.count("Viewer") || apps.count("org.example.Viewer")) << reply->dump();
  EXPECT_TRUE(titles.count("Draft one")) << reply->dump();
  screenshot("ActivityRecording.png");

  ASSERT_TRUE(program_->signal(SIGTERM));
  std::future<int> exited = std::async(std::launch::async, [&] { return program_->wait(); });
  ASSERT_EQ(exited.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  const int status = exited.get();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Someone on the keyboard alone takes their time between reaching the switch and
// pressing it; the window's poll republishes every 2 s meanwhile.
TEST_F(ActivityRecordWmTest, AKeyboardUserSwitchesTheRecordOnAtTheirOwnPace) {
  startWindowManager();
  startKeyring();
  ASSERT_NO_FATAL_FAILURE(startWithTheAccountReported());
  const std::string settings = openSettingsWindow();
  ASSERT_FALSE(settings.empty());
  focus(settings);
  run("/usr/bin/xdotool", {"key", "Tab"});
  // Real time is the point here: more than one poll passes between the two keys.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  run("/usr/bin/xdotool", {"key", "space"});
  EXPECT_TRUE(eventually([&] { return recordSwitchedOn(); }, 20)) << readFile(defaultsFile()) << readFile(logFile());
  screenshot("ActivitySettingsKeyboard.png");
}

// The status item's activity submenu as a person opens it: the menu with the pointer
// from the tray, the submenu (after the eight items above it) from the keyboard.
TEST_F(ActivityRecordWmTest, TheStatusItemOpensItsActivitySubmenu) {
  startWindowManager();
  startTray();
  program_ = start({});
  ASSERT_TRUE(program_);
  ASSERT_TRUE(eventually([&] { return pageLoads("main") >= 1; }, 60)) << readFile(logFile());
  if (auto process = get("/__test/process")) serverPid_ = static_cast<pid_t>(jsonInteger(*process, "pid").value_or(-1));
  std::optional<std::pair<int, int>> item;
  ASSERT_TRUE(eventually([&] { return (item = statusItemPoint()).has_value(); }, 20)) << "the status item never docked";

  const fs::path artifacts = fs::path(TOVARIN_BINARY_DIR) / "test-artifacts";
  screenshot("ActivityMenuClosed.png");
  run("/usr/bin/xdotool", {"mousemove", std::to_string(item->first), std::to_string(item->second), "click", "1"});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // On the fifth item, a plain action, the menu stands alone; on the ninth its submenu opens.
  for (int down = 0; down < 5; ++down) run("/usr/bin/xdotool", {"key", "Down"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  screenshot("ActivityMenuOpen.png");
  for (int down = 0; down < 4; ++down) run("/usr/bin/xdotool", {"key", "Down"});
  run("/usr/bin/xdotool", {"key", "Right"});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  screenshot("ActivitySubmenu.png");
  // The menu, then the submenu beside it, each cover far more than the few pixels a
  // cursor or a highlight changes.
  EXPECT_GT(differingPixels(artifacts / "ActivityMenuClosed.png", artifacts / "ActivityMenuOpen.png"), 20000);
  EXPECT_GT(differingPixels(artifacts / "ActivityMenuOpen.png", artifacts / "ActivitySubmenu.png"), 15000);
  run("/usr/bin/xdotool", {"key", "Escape"});
  run("/usr/bin/xdotool", {"key", "Escape"});
}

}  // namespace
}  // namespace tovarin
