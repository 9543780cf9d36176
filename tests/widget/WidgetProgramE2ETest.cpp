#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <tuple>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "platform/linux/DbusWidgetTimelines.h"
#include "tests/support/Eventually.h"
#include "tests/support/FileContents.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/StagedProgram.h"
#include "tests/widget/WidgetTestData.h"
#include "widget/CalendarProvider.h"
#include "widget/WidgetLayout.h"
#include "widget/WidgetRoute.h"

namespace tovarin {
namespace {

namespace fs = std::filesystem;

constexpr int kLeft = 40;
constexpr int kTop = 40;

// The real widget program on the test's display and bus, fed by the stand-in server,
// which the test starts answering the application's version, so that the application
// takes it for its own. The desktop's handler of its links is a recorder, or the
// installed application.
class WidgetProgramE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    fs::create_directories(root() / "data/applications");
    std::ofstream(root() / "Info.json") << R"({"VORNServerPort": ")" << staged_.port() << R"("})";
    installLinkRecorder();
    ASSERT_TRUE(staged_.startServer()) << staged_.error();
    ASSERT_TRUE(eventually([&] { return LocalPorts::accepts(staged_.port()); }, 30));
  }

  void TearDown() override {
    if (widget_ && widget_->isRunning()) {
      widget_->signal(SIGKILL);
      (void)widget_->wait();
    }
  }

  fs::path root() const { return staged_.root(); }
  fs::path openedLog() const { return root() / "opened.txt"; }

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

  void startWidget() {
    std::string program = std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarinWidgetExtension";
    auto launch = ChildProcess::launch(ChildProcessOptions{
        program,
        {"--family", "large", "--scheme", "light", "--position", std::to_string(kLeft) + "," + std::to_string(kTop),
         "--info", (root() / "Info.json").string()},
        root().string(),
        staged_.environment(),
        false,
        false,
        true});
    ASSERT_TRUE(launch.process) << launch.error;
    widget_ = launch.process;
  }

  // The installed application, sharing this test's server, and the desktop's handler of
  // its links; both write their standard error to its log.
  void startApplicationAsLinkHandler() {
    installLinkHandler("#!/bin/sh\nexec '" + staged_.programPath().string() + "' \"$1\" 2>>'" +
                       applicationLog().string() + "'\n");
    ASSERT_TRUE(staged_.start()) << staged_.error();
  }
  fs::path applicationLog() const { return staged_.logFile(); }

  int64_t feedRequests() {
    auto state = staged_.get("/__test/widget-feed");
    return state ? jsonInteger(*state, "requests").value_or(-1) : -1;
  }

  int tool(const std::string& executable, const std::vector<std::string>& arguments) {
    return staged_.run(executable, arguments);
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
    return staged_.lastOutput();
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
    request.port = staged_.port();
    request.now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    request.device = widget_test::shanghai();
    std::promise<CalendarEntry> loaded;
    CalendarProvider::load(http_, queue_, request, [&](CalendarEntry entry) { loaded.set_value(std::move(entry)); });
    CalendarEntry entry = loaded.get_future().get();
    return WidgetLayout::make(entry, WidgetFamily::large, defaultSize(WidgetFamily::large),
                              TovarinColorToken::Scheme::light, request.device);
  }

  PrivateDbus bus_;
  StagedProgram staged_{{.busAddress = bus_.address(),
                         // Text recognition on one thread: its thread pool only fights the other tests.
                         .environment = {"XDG_DATA_DIRS=/usr/share", "TZ=Asia/Shanghai", "OMP_THREAD_LIMIT=1"}}};
  BeastHttpClient http_;
  SerialQueue queue_{"widget-e2e-http"};
  std::shared_ptr<ChildProcess> widget_;
};

TEST_F(WidgetProgramE2ETest, ShowsTheFeedReloadsOnTheApplicationsSignalAndOpensItsLinks) {
  startWidget();
  ASSERT_TRUE(eventually([&] { return feedRequests() >= 1; }, 30));
  auto state = staged_.get("/__test/widget-feed");
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
  ASSERT_TRUE(staged_.post("/__test/widget-feed?mode=signed-out"));
  int64_t before = feedRequests();
  DbusWidgetTimelines application(bus_.address());
  application.reloadAllTimelines();
  EXPECT_TRUE(eventually([&] { return feedRequests() > before; }, 20));
  EXPECT_TRUE(eventually([&] { return (text = screenText()).find("退出") != std::string::npos; }, 30)) << text;

  ASSERT_TRUE(staged_.post("/__test/widget-feed?mode=ok"));
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
    auto state = staged_.get("/__test/state");
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
  EXPECT_TRUE(staged_.process()->isRunning());
}

}  // namespace
}  // namespace tovarin
