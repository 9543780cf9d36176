// The launch and termination of the application against the real server controller and
// the stand-in server as a real child, with the real change watcher and presence
// reporter, and the real window controllers on test doubles of the desktop.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "base/BeastEventStream.h"
#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/app/AppDelegate.h"
#include "main/app/AppProgramParts.h"
#include "tests/main/app/RecordingAppParts.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/FakePresenceProbe.h"
#include "tests/support/FakeStickyChromeSurface.h"
#include "tests/support/FakeWebViewProvider.h"
#include "tests/support/FakeWidgetTimelines.h"
#include "tests/support/InstalledBundle.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/ProcessTable.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

constexpr const char* kNode = "/usr/bin/node";
constexpr const char* kVersion = "3.1.4";

// The real parts, except that the server is already being started when the launch asks
// for its health: what happens when the main window's first showing (for a URL that
// opened the program) ran its own check and started the server first.
class WindowStartsServerFirst final : public AppParts {
 public:
  explicit WindowStartsServerFirst(AppProgramParts& real) : real_(real) {}
  std::shared_ptr<ServerSupervisor> makeServer() override { return real_.makeServer(); }
  std::shared_ptr<AppChangeWatcher> makeWatcher() override { return real_.makeWatcher(); }
  std::shared_ptr<AppPresence> makePresence(double interval) override { return real_.makePresence(interval); }
  std::shared_ptr<AppMainWindow> makeMainWindow(std::shared_ptr<ServerSupervisor> server) override {
    auto window = real_.makeMainWindow(server);
    started = server->start();
    return window;
  }
  std::shared_ptr<AppStickyWindow> makeStickyWindow(std::shared_ptr<ServerSupervisor> server) override {
    return real_.makeStickyWindow(std::move(server));
  }
  bool started = false;

 private:
  AppProgramParts& real_;
};

class AppLaunchIntegrationTest : public ::testing::Test {
 protected:
  AppLaunchIntegrationTest() {
    resources_ = InstalledBundle::layOut(root_.path(), kVersion);
    port_ = LocalPorts::unused();
  }

  ~AppLaunchIntegrationTest() override {
    if (delegate_) delegate_->willTerminate();
    delegate_.reset();
    windowFirstParts_.reset();
    parts_.reset();
    if (foreign_) {
      foreign_->signal(SIGKILL);
      (void)foreign_->wait();
    }
  }

  void launch(bool autoStart, std::vector<std::string> childEnvironment = {},
              std::optional<std::string> urlBeforeLaunch = std::nullopt, bool windowStartsServerFirst = false) {
    AppConfig config = AppConfig::load(Bundle(resources_.string()), root_.path());
    config.port = port_;
    config.autoStartServer = autoStart;
    config.dataHome = root_.path() + "/data";
    childEnvironment.push_back("PATH=/usr/bin:/bin");
    childEnvironment.push_back("HOME=" + root_.path() + "/home");
    ServerController::Options options;
    options.fixedNodePaths = {kNode};
    options.homeDirectory = root_.path() + "/home";
    options.environment = std::make_shared<ProcessEnvironment>(childEnvironment);
    options.systemProxies = [] { return std::map<std::string, std::string>{}; };
    parts_ = std::make_unique<AppProgramParts>(
        config,
        AppProgramParts::Services{loop_, background_, desktop_, webViews_, accessibility_, chromeSurfaces_,
                                  defaults_, http_, eventStream_, widgets_, presenceProbe_, panels_},
        options);
    AppParts* parts = parts_.get();
    if (windowStartsServerFirst) {
      windowFirstParts_ = std::make_unique<WindowStartsServerFirst>(*parts_);
      parts = windowFirstParts_.get();
    }
    delegate_ = AppDelegate::create(config, AppDelegate::Identity{}, loop_, background_, *parts, appDesktop_);
    if (urlBeforeLaunch) delegate_->openUrls({*urlBeforeLaunch});
    delegate_->didFinishLaunching();
  }

  // Runs the main loop with virtual time following real time, so that the readiness
  // wait's deadline means what it says against a real child.
  bool pumpUntil(const std::function<bool()>& done, double realSeconds) {
    const auto start = std::chrono::steady_clock::now();
    auto last = start;
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (std::chrono::duration<double>(now - start).count() > realSeconds) return false;
      loop_.advance(std::chrono::duration<double>(now - last).count());
      last = now;
      loop_.waitFor(done, 0.05);
    }
    return true;
  }

  // The stand-in server's own record of what reached it.
  std::optional<Json> serverState() {
    std::optional<Json> state;
    bool done = false;
    SerialQueue queue("state");
    http_->send(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port_) + "/__test/state", {}, {}, 5}, queue,
                [&](HttpResponse response) {
                  if (response.responded && response.status == 200) state = parseJson(response.body);
                  done = true;
                });
    loop_.waitFor([&] { return done; }, 10);
    return state;
  }
  int64_t stateNumber(const char* key) {
    auto state = serverState();
    return state ? jsonInteger(*state, key).value_or(-1) : -1;
  }

  // A stand-in server started by the test, as if it had been left running.
  void startForeignServer() {
    auto launch = ChildProcess::launch(ChildProcessOptions{
        kNode,
        {(resources_ / "tools" / "server.mjs").string(), "--port", std::to_string(port_)},
        resources_.string(),
        {"PATH=/usr/bin:/bin", std::string("VORN_APP_VERSION=") + kVersion},
        false,
        false});
    ASSERT_TRUE(launch.process) << launch.error;
    foreign_ = launch.process;
    ASSERT_TRUE(loop_.waitFor([&] { return stateNumber("requests") >= 0; }, 15));
  }

  FakeWebView& mainView() { return *webViews_.made().at(0); }
  FakeWebView& stickyView() { return *webViews_.made().at(1); }
  static bool loadedUrl(const FakeWebView& view, const std::string& url) {
    for (const auto& load : view.loads()) {
      if (load.kind == FakeWebView::Load::Kind::url && load.url == url) return true;
    }
    return false;
  }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  bool bothPagesLoaded() {
    return webViews_.made().size() >= 2 && loadedUrl(mainView(), origin() + "/index.html") &&
           loadedUrl(stickyView(), origin() + "/widget.html");
  }
  static bool showsOffline(const FakeWebView& view) {
    const auto* load = view.lastLoad();
    return load && load->kind == FakeWebView::Load::Kind::html && load->html.find("retry") != std::string::npos;
  }
  bool logged(const std::string& prefix) const { return !logs_.matching("[orvik] " + prefix).empty(); }

  ManualLoop loop_;
  TempDir root_;
  fs::path resources_;
  uint16_t port_ = 0;
  SerialQueue background_{"com.orvik.thetovarin.test.background"};
  FakeDesktop desktop_;
  FakeWebViewProvider webViews_;
  FakeAccessibilitySettings accessibility_;
  FakeStickyChromeSurfaceProvider chromeSurfaces_;
  UserDefaults defaults_{root_.path() + "/defaults.json"};
  std::shared_ptr<BeastHttpClient> http_ = std::make_shared<BeastHttpClient>();
  BeastEventStream eventStream_;
  FakeWidgetTimelines widgets_{loop_};
  FakePresenceProbe presenceProbe_;
  std::shared_ptr<FakePanelPresenter> panels_ = std::make_shared<FakePanelPresenter>();
  Journal journal_;
  RecordingAppDesktop appDesktop_{journal_};
  std::unique_ptr<AppProgramParts> parts_;
  std::unique_ptr<WindowStartsServerFirst> windowFirstParts_;
  std::shared_ptr<AppDelegate> delegate_;
  std::shared_ptr<ChildProcess> foreign_;
  LogRecorder logs_;  // last: stops recording before the parts above go
};

TEST_F(AppLaunchIntegrationTest, HealthyAtLaunchStartsNothingLoadsBothPagesAndFollowsTheServer) {
  startForeignServer();
  launch(true);
  ASSERT_TRUE(pumpUntil([&] { return bothPagesLoaded(); }, 20));
  EXPECT_EQ(parts_->serverController()->childPid(), -1);
  EXPECT_FALSE(parts_->serverController()->childIsRunning());
  // The ready steps reached the server: the change stream and a presence report.
  EXPECT_TRUE(loop_.waitFor([&] { return stateNumber("streamClients") >= 1 && stateNumber("presenceCount") >= 1; },
                            20));
  EXPECT_TRUE(loop_.waitFor([&] { return !widgets_.reloads().empty(); }, 10));
  EXPECT_TRUE(logged("launch: projectRoot=" + root_.path() + " port=" + std::to_string(port_)));

  delegate_->willTerminate();
  // A server the program did not start is left running.
  EXPECT_TRUE(foreign_->isRunning());
}

TEST_F(AppLaunchIntegrationTest, DownWithAutoStartStartsTheChildThenStopsItAtTermination) {
  launch(true, {"TOVARIN_TEST_SLOW_START=1200"});
  ASSERT_TRUE(pumpUntil([&] { return bothPagesLoaded(); }, 30));
  const pid_t child = parts_->serverController()->childPid();
  ASSERT_GT(child, 0);
  EXPECT_TRUE(ProcessTable::contains(child));
  EXPECT_TRUE(loop_.waitFor([&] { return stateNumber("streamClients") >= 1; }, 20));

  delegate_->willTerminate();
  EXPECT_FALSE(parts_->serverController()->childIsRunning());
  EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(child); }, 10));
  EXPECT_TRUE(loop_.waitFor([&] { return LocalPorts::isFree(port_); }, 10));
}

TEST_F(AppLaunchIntegrationTest, AutoStartOffShowsTheLaunchNoticeAndNeverFollowsTheServer) {
  launch(false);
  ASSERT_TRUE(pumpUntil([&] { return webViews_.made().size() >= 2 && showsOffline(mainView()) && showsOffline(stickyView()); },
                        20));
  EXPECT_NE(mainView().lastLoad()->html.find("这一次：打开岚笺时"), std::string::npos);
  EXPECT_EQ(mainView().lastLoad()->html.find("等本机服务就绪"), std::string::npos);
  EXPECT_EQ(parts_->serverController()->childPid(), -1);

  // A server that appears later never hears from the change watcher or presence.
  startForeignServer();
  EXPECT_FALSE(pumpUntil([&] { return stateNumber("streamClients") > 0 || stateNumber("presenceCount") > 0; }, 3));
  EXPECT_TRUE(widgets_.reloads().empty());
}

TEST_F(AppLaunchIntegrationTest, StartedButNeverReadyShowsTheNoticeAfterTwelveSeconds) {
  // The child answers, but never as a compatible server.
  launch(true, {"TOVARIN_TEST_HEALTH=protocol2"});
  ASSERT_TRUE(pumpUntil([&] { return webViews_.made().size() >= 2 && showsOffline(mainView()) && showsOffline(stickyView()); },
                        40));
  EXPECT_NE(mainView().lastLoad()->html.find("这一次：打开岚笺时等本机服务就绪"), std::string::npos);
  EXPECT_FALSE(loadedUrl(mainView(), origin() + "/index.html"));
  const pid_t child = parts_->serverController()->childPid();
  ASSERT_GT(child, 0);
  EXPECT_EQ(stateNumber("streamClients"), 0);
  EXPECT_EQ(stateNumber("presenceCount"), 0);

  delegate_->willTerminate();
  EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(child); }, 10));
  EXPECT_TRUE(loop_.waitFor([&] { return LocalPorts::isFree(port_); }, 10));
}

TEST_F(AppLaunchIntegrationTest, ServerStartedByTheWindowFirstIsJoinedNotGivenUp) {
  launch(true, {"TOVARIN_TEST_SLOW_START=800"}, std::nullopt, true);
  ASSERT_TRUE(windowFirstParts_->started);
  ASSERT_TRUE(pumpUntil([&] { return bothPagesLoaded(); }, 30));
  EXPECT_FALSE(showsOffline(stickyView()));
  EXPECT_TRUE(loop_.waitFor([&] { return stateNumber("streamClients") >= 1 && stateNumber("presenceCount") >= 1; },
                            20));
}

TEST_F(AppLaunchIntegrationTest, UrlOpeningTheProgramIsRoutedAndTheLaunchStillEndsReady) {
  // Routing the URL shows the main window, whose own check races the launch's to start
  // the server; either way the launch ends in the ready steps.
  launch(true, {"TOVARIN_TEST_SLOW_START=800"}, "the-tovarin://tasks");
  ASSERT_TRUE(pumpUntil([&] { return bothPagesLoaded(); }, 30));
  EXPECT_TRUE(loop_.waitFor([&] { return stateNumber("streamClients") >= 1 && stateNumber("presenceCount") >= 1; },
                            20));
  EXPECT_TRUE(logged("open url host=tasks"));
  bool commandTried = false;
  for (const auto& call : mainView().pendingCalls()) {
    if (call.script.find("runCommand('view.tasks')") != std::string::npos) commandTried = true;
  }
  for (const auto& script : mainView().scripts()) {
    if (script.find("runCommand('view.tasks')") != std::string::npos) commandTried = true;
  }
  EXPECT_TRUE(commandTried);
  const pid_t child = parts_->serverController()->childPid();
  ASSERT_GT(child, 0);
  delegate_->willTerminate();
  EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(child); }, 10));
}

}  // namespace
}  // namespace tovarin
