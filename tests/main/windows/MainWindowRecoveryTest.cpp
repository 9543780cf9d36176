#include <gtest/gtest.h>

#include <thread>

#include "main/page/WebViewFactory.h"
#include "main/server/ServerStartupDiagnosis.h"
#include "main/windows/MainWindowChrome.h"
#include "tests/main/windows/MainWindowFixture.h"

namespace tovarin {
namespace {

constexpr const char* toastReady = "本机服务已连接。窗口内容已保留，可以继续或重试刚才的操作。";
constexpr const char* toastNotReady = "本机服务暂未连接。窗口内容已保留，可从显示菜单重新连接。";

class MainWindowRecoveryTest : public MainWindowFixture {
 protected:
  // The toasts shown so far, read from the page calls that carry them.
  std::vector<std::string> toasts() const {
    std::vector<std::string> shown;
    for (const auto& call : view_->pendingCalls()) {
      if (call.arguments && call.script.find("window.__calendar.ctx.toast(message)") != std::string::npos) {
        shown.push_back(call.arguments->value("message", ""));
      }
    }
    return shown;
  }
  // Gathers the facts the recovery asked for and lets the offline page appear.
  void answerFacts(const ServerStartupFacts& facts) {
    loop_.runUntilIdle();
    ASSERT_TRUE(server_->completeFacts(facts));
    loop_.runUntilIdle();
  }
  void loadThePage() {
    controller_->load();
    finishMainPage();
    ASSERT_TRUE(controller_->loadedOnce());
  }
};

TEST_F(MainWindowRecoveryTest, EveryTriggerEndsInAnOfflinePageNamingIt) {
  struct Case {
    const char* trigger;
    bool retried;
    std::function<void()> fire;
  } cases[] = {
      {"打开窗口时核验本机服务", false, [this] { controller_->show(); }},
      {"点了「重试」", true, [this] { view_->postMessage("startup", {{"type", "retry"}}); }},
      {"从「显示」菜单重新连接", false, [this] { controller_->reload(); }},
      {"连不上本机服务（端口 4173）", false, [this] { view_->failProvisionalNavigation("Connection refused"); }},
      {"页面加载中断：Connection reset", false, [this] { view_->failNavigation("Connection reset"); }},
      {"窗口内容进程中断", false,
       [this] {
         loadThePage();
         view_->terminateWebContent();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trigger);
    server_ = std::make_shared<FakeServerSupervisor>();
    create();
    c.fire();
    ASSERT_TRUE(server_->completeHealth(false));
    answerFacts(disabledFacts());
    ASSERT_TRUE(lastLoadIsOfflinePage());
    EXPECT_NE(lastHtml().find(std::string("这一次：") + c.trigger + "。"), std::string::npos);
    EXPECT_EQ(lastHtml().find(std::string(StartupNotice::retriedNote)) != std::string::npos, c.retried);
    EXPECT_EQ(view_->lastLoad()->url, "");
    EXPECT_EQ(server_->startCount(), 0) << "auto-start is off";
    EXPECT_TRUE(server_->waitTimeouts().empty());
  }
}

TEST_F(MainWindowRecoveryTest, AUsableServerReloadsTheMainPageHalfASecondLater) {
  create();
  controller_->show();
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(0.499);
  EXPECT_EQ(urlLoads(), 0u);
  loop_.advance(0.001);
  ASSERT_EQ(urlLoads(), 1u);
  EXPECT_TRUE(lastLoadIsMainPage());
  EXPECT_EQ(view_->lastLoad()->timeoutSeconds, 60);
}

TEST_F(MainWindowRecoveryTest, MenuReconnectKeepsALoadedPageAndToasts) {
  struct Case {
    const char* what;
    bool pageLoaded;
    bool usable;
    std::vector<std::string> toasts;
    size_t urlLoadsAfter;  // beyond the first load of the page
  } cases[] = {
      {"loaded, server usable", true, true, {toastReady}, 0},
      {"loaded, server down", true, false, {toastNotReady}, 0},
      {"never loaded, server usable", false, true, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    create();
    if (c.pageLoaded) loadThePage();
    const size_t before = urlLoads();
    controller_->reload();
    ASSERT_TRUE(server_->completeHealth(c.usable));
    loop_.advance(0.5);
    EXPECT_EQ(toasts(), c.toasts);
    EXPECT_EQ(urlLoads() - before, c.urlLoadsAfter);
    EXPECT_FALSE(lastLoadIsOfflinePage());
    EXPECT_EQ(server_->factsCount(), 0);
  }
}

TEST_F(MainWindowRecoveryTest, TheToastTextIsAnArgumentNotScript) {
  create();
  loadThePage();
  controller_->reload();
  server_->completeHealth(true);
  loop_.advance(0.5);
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  const auto& call = view_->pendingCalls()[0];
  EXPECT_EQ(call.script.find(toastReady), std::string::npos);
  EXPECT_EQ(call.arguments, (Json{{"message", toastReady}}));
  EXPECT_NE(call.script.find("if (window.__calendar && window.__calendar.ctx) window.__calendar.ctx.toast(message);"),
            std::string::npos);
}

TEST_F(MainWindowRecoveryTest, AFailedNavigationReloadsEvenALoadedPage) {
  create();
  loadThePage();
  view_->failNavigation("Connection reset");
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(0.5);
  EXPECT_EQ(urlLoads(), 2u);
  EXPECT_TRUE(lastLoadIsMainPage());
  EXPECT_TRUE(toasts().empty());
}

// A frame's failed load, or an outside address's, says nothing about the local server;
// once such failures started recoveries that reloaded the page in a loop.
TEST_F(MainWindowRecoveryTest, OnlyTheLocalServersFailuresAreOutages) {
  create();
  loadThePage();
  view_->failProvisionalNavigation("The URL can't be shown", "mailto:a@example.com");
  view_->failNavigation("Connection reset", "https://example.com/frame.html");
  EXPECT_EQ(server_->healthCheckCount(), 0);
  view_->failNavigation("Connection reset", "http://127.0.0.1:4173/index.html");
  EXPECT_EQ(server_->healthCheckCount(), 1);
}

// A click in a foreign frame blanked the window while it still counted as loaded; the
// reconnect then only toasted into the blank page.
TEST_F(MainWindowRecoveryTest, AWindowThatLeftTheLocalServerLoadsTheMainPageAgain) {
  create();
  loadThePage();
  view_->finishNavigation("about:blank");
  EXPECT_FALSE(controller_->loadedOnce());
  const size_t loads = urlLoads();
  controller_->reload();
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(1.0);
  EXPECT_TRUE(toasts().empty());
  EXPECT_EQ(urlLoads(), loads + 1);
}

TEST_F(MainWindowRecoveryTest, TheEndOfTheContentProcessReloadsALoadedPage) {
  create();
  loadThePage();
  view_->terminateWebContent();
  EXPECT_FALSE(controller_->loadedOnce());
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(0.5);
  EXPECT_EQ(urlLoads(), 2u);
  EXPECT_TRUE(toasts().empty());
}

TEST_F(MainWindowRecoveryTest, ALaterShowingNeedsTwoFailedChecks) {
  struct Case {
    const char* what;
    std::vector<bool> checks;  // the answers, in order
    std::vector<std::string> toasts;
  } cases[] = {
      {"usable at once", {true}, {}},
      {"down, then usable again", {false, true}, {toastReady}},
      {"down twice", {false, false}, {toastNotReady}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    create();
    loadThePage();
    controller_->show();
    for (bool usable : c.checks) {
      loop_.runUntilIdle();
      ASSERT_TRUE(server_->completeHealth(usable));
    }
    loop_.advance(0.5);
    EXPECT_EQ(server_->healthCheckCount(), static_cast<int>(c.checks.size()));
    EXPECT_EQ(server_->pendingHealthChecks(), 0u);
    EXPECT_EQ(toasts(), c.toasts);
    EXPECT_EQ(urlLoads(), 1u) << "the loaded page stays";
    EXPECT_FALSE(lastLoadIsOfflinePage());
  }
}

TEST_F(MainWindowRecoveryTest, AnUnusableServerIsAwaitedWhenItCanStillComeUp) {
  struct Case {
    const char* what;
    bool waiting, childRunning, autoStart, startLaunches;
    bool waits;
    int starts;
  } cases[] = {
      {"a wait is running", true, false, true, true, true, 0},
      {"the child is running", false, true, true, true, true, 0},
      {"auto-start launches", false, false, true, true, true, 1},
      {"auto-start fails to launch", false, false, true, false, false, 1},
      {"auto-start off", false, false, false, true, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setWaitingForReadiness(c.waiting);
    server_->setChildRunning(c.childRunning);
    server_->setAutoStart(c.autoStart);
    server_->setStartResult(c.startLaunches);
    create();
    controller_->show();
    ASSERT_TRUE(server_->completeHealth(false));
    loop_.runUntilIdle();
    EXPECT_EQ(server_->startCount(), c.starts);
    if (c.waits) {
      EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{12});
      EXPECT_EQ(server_->factsCount(), 0);
    } else {
      EXPECT_TRUE(server_->waitTimeouts().empty());
      EXPECT_EQ(server_->factsCount(), 1);
    }
  }
}

// The offline notice promises that「重试」closes and restarts a server of ours that holds
// the port without answering; only the user's retries do that, and only when no wait
// for it is running.
TEST_F(MainWindowRecoveryTest, TheUsersRetryReplacesOurLiveButUnusableChild) {
  struct Case {
    const char* what;
    std::function<void()> fire;
    bool waiting;
    int restarts;
  } cases[] = {
      {"the retry button", [this] { view_->postMessage("startup", {{"type", "retry"}}); }, false, 1},
      {"the menu's reconnect", [this] { controller_->reload(); }, false, 1},
      {"the retry button while a wait runs", [this] { view_->postMessage("startup", {{"type", "retry"}}); }, true, 0},
      {"the first showing", [this] { controller_->show(); }, false, 0},
      {"a failed navigation", [this] { view_->failNavigation("Connection reset"); }, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setChildRunning(true);
    server_->setAutoStart(true);
    server_->setStartResult(true);
    server_->setWaitingForReadiness(c.waiting);
    create();
    c.fire();
    ASSERT_TRUE(server_->completeHealth(false));
    loop_.runUntilIdle();
    EXPECT_EQ(server_->restartCount(), c.restarts);
    EXPECT_EQ(server_->startCount(), 0);
    EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{12}) << "a new or running child is awaited";
  }
}

TEST_F(MainWindowRecoveryTest, TheWaitEndsInTheMainPageOrAFreshOfflinePage) {
  for (bool ready : {true, false}) {
    SCOPED_TRACE(ready ? "ready" : "not ready");
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setChildRunning(true);
    server_->setStartResult(true);  // the retry replaces the child, then waits for it
    create();
    view_->postMessage("startup", {{"type", "retry"}});
    server_->completeHealth(false);
    loop_.runUntilIdle();
    ASSERT_TRUE(server_->completeWait(ready));
    loop_.runUntilIdle();
    if (ready) {
      EXPECT_TRUE(lastLoadIsMainPage());
      EXPECT_EQ(server_->factsCount(), 0);
    } else {
      answerFacts(disabledFacts());
      ASSERT_TRUE(lastLoadIsOfflinePage());
      EXPECT_NE(lastHtml().find("这一次：点了「重试」。"), std::string::npos);
      EXPECT_NE(lastHtml().find(std::string(StartupNotice::retriedNote)), std::string::npos);
    }
  }
}

TEST_F(MainWindowRecoveryTest, AWaitForAKeptPageEndsInAToast) {
  for (bool ready : {true, false}) {
    SCOPED_TRACE(ready ? "ready" : "not ready");
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setChildRunning(true);
    server_->setStartResult(true);  // the retry replaces the child, then waits for it
    create();
    loadThePage();
    controller_->reload();
    server_->completeHealth(false);
    loop_.runUntilIdle();
    ASSERT_TRUE(server_->completeWait(ready));
    loop_.runUntilIdle();
    EXPECT_EQ(toasts(), std::vector<std::string>{ready ? toastReady : toastNotReady});
    EXPECT_EQ(urlLoads(), 1u);
    EXPECT_EQ(server_->factsCount(), 0);
  }
}

TEST_F(MainWindowRecoveryTest, OfflinePageUsesTheNativeGroundAndIsNotCompact) {
  create();
  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#102030"}});
  StartupNotice notice;
  notice.cause = ServerStartupFailure::portHeldByOthers;
  notice.headline = "岚笺暂时无法启动";
  notice.summary = "端口被别的程序占着。";
  notice.shortReason = "端口被占用";
  controller_->showOffline(notice);
  EXPECT_EQ(window_->background(), MainWindowChrome::nativeGround(false));
  EXPECT_EQ(lastHtml(), WebViewFactory::offlineHTML(notice, false));
  EXPECT_TRUE(server_->waitTimeouts().empty()) << "only a slow start earns the extra wait";
}

TEST_F(MainWindowRecoveryTest, ASlowStartWaitsThirtySecondsOnceAtATime) {
  create();
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  EXPECT_TRUE(controller_->waitingAfterNotice());
  EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{30});

  // Another slow notice while the wait runs starts no second one.
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{30});

  // The wait fails: fresh facts, a fresh notice naming the wait, and the next wait.
  ASSERT_TRUE(server_->completeWait(false));
  EXPECT_FALSE(controller_->waitingAfterNotice());
  answerFacts(slowFacts());
  ASSERT_TRUE(lastLoadIsOfflinePage());
  EXPECT_NE(lastHtml().find("这一次：接着又等了 30 秒。"), std::string::npos);
  EXPECT_EQ(lastHtml().find(std::string(StartupNotice::retriedNote)), std::string::npos);
  EXPECT_EQ(server_->waitTimeouts(), (std::vector<double>{30, 30}));

  // That one succeeds: the main page.
  ASSERT_TRUE(server_->completeWait(true));
  loop_.runUntilIdle();
  EXPECT_TRUE(lastLoadIsMainPage());
  EXPECT_FALSE(controller_->waitingAfterNotice());
}

TEST_F(MainWindowRecoveryTest, ARetryDuringTheThirtySecondWaitStartsNoSecondOne) {
  create();
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  view_->postMessage("startup", {{"type", "retry"}});
  ASSERT_TRUE(server_->completeHealth(false));
  loop_.runUntilIdle();
  EXPECT_EQ(server_->waitTimeouts(), (std::vector<double>{30, 12})) << "the retry joins the running wait";

  // The shared probing loop gives up for both; only the retry's notice follows at once.
  EXPECT_EQ(server_->completeWait(false), true);  // the 30 s wait
  EXPECT_EQ(server_->completeWait(false), true);  // the retry's wait
  loop_.runUntilIdle();
  EXPECT_EQ(server_->factsCount(), 2);
  answerFacts(slowFacts());
  answerFacts(slowFacts());
  EXPECT_TRUE(lastLoadIsOfflinePage());
  EXPECT_EQ(server_->waitTimeouts(), (std::vector<double>{30, 12, 30})) << "one new 30 s wait, not two";
}

TEST_F(MainWindowRecoveryTest, TheThirtySecondWaitDoesNothingOnceThePageLoaded) {
  create();
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  loadThePage();
  const size_t loads = view_->loads().size();
  ASSERT_TRUE(server_->completeWait(false));
  loop_.runUntilIdle();
  EXPECT_FALSE(controller_->waitingAfterNotice());
  EXPECT_EQ(view_->loads().size(), loads);
  EXPECT_EQ(server_->factsCount(), 0);

  // And a slow notice after the page loaded earns no wait at all.
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{30});
}

TEST_F(MainWindowRecoveryTest, FromOfflineToLoaded) {
  create();
  controller_->showOffline(ServerStartupDiagnosis::notice(disabledFacts(), "打开岚笺时", false));
  ASSERT_TRUE(lastLoadIsOfflinePage());

  view_->postMessage("startup", {{"type", "retry"}}, {true, true, "about:blank", "null"});
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(0.5);
  ASSERT_TRUE(lastLoadIsMainPage());
  EXPECT_FALSE(controller_->loadedOnce());
  finishMainPage();
  EXPECT_TRUE(controller_->loadedOnce());

  view_->postMessage("startup", {{"type", "retry"}});
  EXPECT_EQ(server_->pendingHealthChecks(), 0u);
}

TEST_F(MainWindowRecoveryTest, AHealthResultOnTheProbeThreadMovesItsWorkToTheMainLoop) {
  server_->setChildRunning(true);
  server_->setStartResult(true);
  create();
  controller_->reload();
  std::thread probe([this] { server_->completeHealth(false); });
  probe.join();
  EXPECT_TRUE(server_->waitTimeouts().empty()) << "the wait is asked for on the main loop";
  ASSERT_TRUE(loop_.waitFor([&] { return !server_->waitTimeouts().empty(); }, 10));
  EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{12});

  controller_->reload();
  std::thread usable([this] { server_->completeHealth(true); });
  usable.join();
  loop_.advance(0.5);
  EXPECT_TRUE(lastLoadIsMainPage());
}

TEST_F(MainWindowRecoveryTest, NothingHappensOnceTheControllerIsGone) {
  server_->setAutoStart(true);
  server_->setStartResult(true);
  create();
  controller_->show();
  view_->failNavigation("x");
  controller_->showOffline(ServerStartupDiagnosis::notice(slowFacts(), "打开岚笺时", false));
  controller_.reset();

  EXPECT_TRUE(server_->completeHealth(false));
  EXPECT_TRUE(server_->completeHealth(true));
  EXPECT_TRUE(server_->completeWait(true));
  loop_.advance(1.0);
  EXPECT_EQ(server_->startCount(), 0);
  EXPECT_EQ(server_->factsCount(), 0);
  EXPECT_EQ(view_->loads().size(), 2u) << "the starting and the offline page only";
}

TEST_F(MainWindowRecoveryTest, FactsAskedForJustBeforeTheControllerGoesAreNotShown) {
  create();
  controller_->reload();
  server_->completeHealth(false);
  loop_.runUntilIdle();
  ASSERT_EQ(server_->pendingFacts(), 1u);
  controller_.reset();
  ASSERT_TRUE(server_->completeFacts(disabledFacts()));
  loop_.runUntilIdle();
  EXPECT_FALSE(lastLoadIsOfflinePage());
}

}  // namespace
}  // namespace tovarin
