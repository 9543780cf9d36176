#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <tuple>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "platform/linux/DbusWidgetTimelines.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/TempDir.h"
#include "widget/CalendarProvider.h"
#include "widget/WidgetLayout.h"
#include "widget/WidgetRoute.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

namespace fs = std::filesystem;

constexpr int kLeft = 40;
constexpr int kTop = 40;

bool eventually(const std::function<bool()>& condition, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return condition();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The real widget program on the test's display and bus, fed by the stand-in server.
// The desktop's handler of its links is a recorder, or the installed application.
class WidgetProgramE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    port_ = LocalPorts::unused();
    for (const char* dir : {"home", "config", "data/applications", "run"}) fs::create_directories(root() / dir);
    fs::permissions(root() / "run", fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(root() / "Info.json") << R"({"VORNServerPort": ")" << port_ << R"("})";
    installLinkRecorder();
    // The application's own version, so that the application takes this server for its own.
    std::vector<std::string> serverEnvironment = environment();
    serverEnvironment.push_back("VORN_APP_VERSION=" + applicationVersion());
    auto server = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/node",
        {(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server.mjs").string(), "--port", std::to_string(port_)},
        root().string(),
        serverEnvironment,
        false,
        false,
        true});
    ASSERT_TRUE(server.process) << server.error;
    server_ = server.process;
    ASSERT_TRUE(eventually([&] { return LocalPorts::accepts(port_); }, 30));
  }

  void TearDown() override {
    for (auto& process : {application_, widget_, server_}) {
      if (process && process->isRunning()) {
        process->signal(SIGKILL);
        (void)process->wait();
      }
    }
  }

  fs::path root() const { return root_.path(); }
  fs::path openedLog() const { return root() / "opened.txt"; }

  static std::string applicationVersion() {
    auto info = parseJson(readFile(fs::path(TOVARIN_STAGE_DIR) / "share" / "the-tovarin" / "Info.json"));
    return info ? jsonString(*info, "CFBundleShortVersionString").value_or("") : "";
  }

  // The desktop hands "the-tovarin:" links to this handler, which writes each one down.
  void installLinkRecorder() {
    installLinkHandler("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + openedLog().string() + "'\n");
  }

  void installLinkHandler(const std::string& scriptText) {
    fs::path script = root() / "open-link.sh";
    std::ofstream(script) << scriptText;
    fs::permissions(script, fs::perms::owner_all);
    std::ofstream(root() / "data/applications/tovarin-link-recorder.desktop")
        << "[Desktop Entry]\nType=Application\nName=Link recorder\nExec=" << script.string()
        << " %u\nMimeType=x-scheme-handler/the-tovarin;\nNoDisplay=true\n";
    std::ofstream(root() / "config/mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/the-tovarin=tovarin-link-recorder.desktop\n";
  }

  std::vector<std::string> environment() const {
    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + (root() / "home").string(),
        "XDG_CONFIG_HOME=" + (root() / "config").string(),
        "XDG_DATA_HOME=" + (root() / "data").string(),
        "XDG_DATA_DIRS=/usr/share",
        "XDG_RUNTIME_DIR=" + (root() / "run").string(),
        "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(),
        "NO_AT_BRIDGE=1",
        "TZ=Asia/Shanghai",
        // Text recognition on one thread: its thread pool only fights the other tests.
        "OMP_THREAD_LIMIT=1",
    };
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
  }

  void startWidget() {
    std::string program = std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarinWidgetExtension";
    auto launch = ChildProcess::launch(ChildProcessOptions{
        program,
        {"--family", "large", "--scheme", "light", "--position", std::to_string(kLeft) + "," + std::to_string(kTop),
         "--info", (root() / "Info.json").string()},
        root().string(),
        environment(),
        false,
        false,
        true});
    ASSERT_TRUE(launch.process) << launch.error;
    widget_ = launch.process;
  }

  // The application as installed under <root>/prefix, sharing this test's server, and
  // the desktop's handler of its links; both write their standard error to one log.
  void startApplicationAsLinkHandler() {
    fs::path prefix = root() / "prefix";
    fs::path stage(TOVARIN_STAGE_DIR);
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "the-tovarin");
    fs::copy_file(stage / "bin" / "TheTovarin", prefix / "bin" / "TheTovarin");
    for (const char* file : {"Info.json", "TheTovarinMark.svg"}) {
      fs::copy_file(stage / "share" / "the-tovarin" / file, prefix / "share" / "the-tovarin" / file);
    }
    std::ofstream(prefix / "share" / "the-tovarin" / "config.json")
        << R"({"port":)" << port_ << R"(,"autoStartServer":true})";
    fs::create_directories(prefix / "lib" / "the-tovarin");
    fs::create_directory_symlink(stage / "lib" / "the-tovarin" / "webext", prefix / "lib" / "the-tovarin" / "webext");
    fs::create_symlink(stage / "lib" / "the-tovarin" / "libtovarin-ocr.so", prefix / "lib" / "the-tovarin" / "libtovarin-ocr.so");
    std::string program = (prefix / "bin" / "TheTovarin").string();
    installLinkHandler("#!/bin/sh\nexec '" + program + "' \"$1\" 2>>'" + applicationLog().string() + "'\n");
    auto launch = ChildProcess::launch(ChildProcessOptions{
        "/bin/sh", {"-c", "exec \"$0\" 2>>'" + applicationLog().string() + "'", program}, root().string(),
        environment(), false, false, true});
    ASSERT_TRUE(launch.process) << launch.error;
    application_ = launch.process;
  }
  fs::path applicationLog() const { return root() / "application.log"; }

  std::optional<Json> call(const std::string& method, const std::string& path) {
    std::promise<std::optional<Json>> answer;
    http_.send(HttpRequest{method, "http://127.0.0.1:" + std::to_string(port_) + path, {}, {}, 5}, queue_,
               [&](HttpResponse response) {
                 answer.set_value(response.responded && response.status == 200 ? parseJson(response.body)
                                                                                : std::nullopt);
               });
    return answer.get_future().get();
  }
  int64_t feedRequests() {
    auto state = call("GET", "/__test/widget-feed");
    return state ? jsonInteger(*state, "requests").value_or(-1) : -1;
  }

  int tool(const std::string& executable, const std::vector<std::string>& arguments) {
    auto launch = ChildProcess::launch(ChildProcessOptions{executable, arguments, root().string(), environment(),
                                                           false, true});
    if (!launch.process) return -1;
    lastOutput_ = launch.process->readAllOutput();
    int status = launch.process->wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // What text recognition reads in the widget's part of the screen.
  std::string screenText() {
    fs::path shot = root() / "widget.png";
    fs::path large = root() / "widget-large.png";
    WidgetSize size = defaultSize(WidgetFamily::large);
    std::string crop = std::to_string(static_cast<int>(size.width)) + "x" +
                       std::to_string(static_cast<int>(size.height)) + "+" + std::to_string(kLeft) + "+" +
                       std::to_string(kTop);
    if (tool("/usr/bin/import", {"-window", "root", "-crop", crop, shot.string()}) != 0) return "";
    if (tool("/usr/bin/convert", {shot.string(), "-resize", "300%", large.string()}) != 0) return "";
    if (tool("/usr/bin/tesseract", {large.string(), "stdout", "-l", "chi_sim+eng"}) != 0) return "";
    return lastOutput_;
  }

  void click(double x, double y) {
    ASSERT_EQ(tool("/usr/bin/xdotool", {"mousemove", std::to_string(kLeft + static_cast<int>(x)),
                                        std::to_string(kTop + static_cast<int>(y)), "click", "1"}),
              0);
  }

  // The large widget's picture of what the stand-in server answers now, in the zone the
  // widget runs in.
  WidgetLayout layoutOfTheFeed() {
    FeedRequest request;
    request.port = port_;
    request.now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    request.device = widget_test::shanghai();
    std::promise<CalendarEntry> loaded;
    CalendarProvider::load(http_, queue_, request, [&](CalendarEntry entry) { loaded.set_value(std::move(entry)); });
    CalendarEntry entry = loaded.get_future().get();
    return WidgetLayout::make(entry, WidgetFamily::large, defaultSize(WidgetFamily::large),
                              TovarinColorToken::Scheme::light, request.device);
  }

  PrivateDbus bus_;
  TempDir root_;
  uint16_t port_ = 0;
  BeastHttpClient http_;
  SerialQueue queue_{"widget-e2e-http"};
  std::shared_ptr<ChildProcess> server_;
  std::shared_ptr<ChildProcess> widget_;
  std::shared_ptr<ChildProcess> application_;
  std::string lastOutput_;
};

TEST_F(WidgetProgramE2ETest, ShowsTheFeedReloadsOnTheApplicationsSignalAndOpensItsLinks) {
  startWidget();
  ASSERT_TRUE(eventually([&] { return feedRequests() >= 1; }, 30));
  auto state = call("GET", "/__test/widget-feed");
  ASSERT_TRUE(state);
  // Two days back to eleven ahead, in the device's zone.
  double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  Calendar device = widget_test::shanghai();
  EXPECT_EQ((*state)["lastQuery"]["from"], CalendarFeed::dayKey(CalendarFeed::addingDaysOrSame(now, -2, device), device));
  EXPECT_EQ((*state)["lastQuery"]["to"], CalendarFeed::dayKey(CalendarFeed::addingDaysOrSame(now, 11, device), device));

  // The feed's next meeting is on the screen.
  std::string text;
  EXPECT_TRUE(eventually([&] { return (text = screenText()).find("OKR") != std::string::npos; }, 30)) << text;

  // The application's reload signal makes the widget fetch again and show what it got.
  ASSERT_TRUE(call("POST", "/__test/widget-feed?mode=signed-out"));
  int64_t before = feedRequests();
  DbusWidgetTimelines application(bus_.address());
  application.reloadAllTimelines();
  EXPECT_TRUE(eventually([&] { return feedRequests() > before; }, 20));
  EXPECT_TRUE(eventually([&] { return (text = screenText()).find("退出") != std::string::npos; }, 30)) << text;

  ASSERT_TRUE(call("POST", "/__test/widget-feed?mode=ok"));
  before = feedRequests();
  application.reloadAllTimelines();
  EXPECT_TRUE(eventually([&] { return feedRequests() > before; }, 20));
  EXPECT_TRUE(eventually([&] { return (text = screenText()).find("OKR") != std::string::npos; }, 30)) << text;

  // An event row opens the agenda, a task row the task list, the header the application.
  WidgetLayout shown = layoutOfTheFeed();
  const WidgetItem* event = shown.find("title", "e:okr");
  const WidgetItem* task = shown.find("title", "t:notes");
  ASSERT_TRUE(event && task);
  std::string expected;
  for (auto [x, y, url] : {std::tuple{event->x + 10, event->y + event->height / 2, WidgetRoute::agenda},
                           std::tuple{task->x + 10, task->y + task->height / 2, WidgetRoute::tasks},
                           std::tuple{20.0, 20.0, WidgetRoute::app}}) {
    click(x, y);
    expected += std::string(url) + "\n";
    EXPECT_TRUE(eventually([&] { return readFile(openedLog()) == expected; }, 20)) << readFile(openedLog());
  }

  fs::path artifacts = fs::path(TOVARIN_BINARY_DIR) / "test-artifacts";
  fs::create_directories(artifacts);
  fs::copy_file(root() / "widget.png", artifacts / "TheTovarinWidgetExtension.png",
                fs::copy_options::overwrite_existing);
  EXPECT_TRUE(widget_->isRunning());
}

TEST_F(WidgetProgramE2ETest, ARowOpensTheApplicationOnItsPage) {
  startApplicationAsLinkHandler();
  auto mainPageLoaded = [&] {
    auto state = call("GET", "/__test/state");
    return state && state->contains("pageLoads") && (*state)["pageLoads"]["main"].size() >= 1;
  };
  ASSERT_TRUE(eventually(mainPageLoaded, 60)) << readFile(applicationLog());
  startWidget();
  ASSERT_TRUE(eventually([&] { return feedRequests() >= 1; }, 30));
  std::string text;
  ASSERT_TRUE(eventually([&] { return (text = screenText()).find("OKR") != std::string::npos; }, 30)) << text;

  WidgetLayout shown = layoutOfTheFeed();
  const WidgetItem* task = shown.find("title", "t:notes");
  ASSERT_TRUE(task);
  click(task->x + 10, task->y + task->height / 2);
  EXPECT_TRUE(eventually([&] { return readFile(applicationLog()).find("[orvik] open url host=tasks") != std::string::npos; },
                         30))
      << readFile(applicationLog());
  const WidgetItem* event = shown.find("title", "e:okr");
  ASSERT_TRUE(event);
  click(event->x + 10, event->y + event->height / 2);
  EXPECT_TRUE(eventually([&] { return readFile(applicationLog()).find("[orvik] open url host=agenda") != std::string::npos; },
                         30))
      << readFile(applicationLog());
  // The running application took both links; no second one stayed.
  EXPECT_TRUE(application_->isRunning());
}

}  // namespace
}  // namespace tovarin
