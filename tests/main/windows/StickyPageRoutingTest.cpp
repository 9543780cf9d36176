#include <gtest/gtest.h>

#include "main/page/WebViewFactory.h"
#include "main/server/ServerStartupDiagnosis.h"
#include "tests/main/windows/StickyWindowFixture.h"

namespace tovarin {
namespace {

using Body = std::map<std::string, std::string>;

class StickyPageRoutingTest : public StickyWindowFixture {
 protected:
  void SetUp() override {
    StickyWindowFixture::SetUp();
    create();
  }
  static ServerStartupFacts disabledFacts() {
    ServerStartupFacts facts;
    facts.port = 4173;
    return facts;
  }
};

// Frame facts -----------------------------------------------------------------------------

const MessageSource localMain = FakeWebView::mainFrameSource(4173);
const MessageSource otherPortMain = FakeWebView::mainFrameSource(4174);
const MessageSource crossOriginFrame{true, false, "http://127.0.0.1:9999/ad.html", "http://127.0.0.1:9999"};
const MessageSource sameOriginFrame{true, false, "http://127.0.0.1:4173/inner.html", "http://127.0.0.1:4173"};
const MessageSource unknownSource{};
const MessageSource localhostMain{true, true, "http://localhost:4173/widget.html", "http://localhost:4173"};
const MessageSource opaqueMain{true, true, "about:blank", "null"};

TEST_F(StickyPageRoutingTest, NavigationIsTakenOnlyFromTheLocalServersMainFrame) {
  struct Row {
    const char* what;
    MessageSource source;
    bool taken;
  };
  const Row rows[] = {
      {"the widget page itself", localMain, true},
      {"a page on another port", otherPortMain, false},
      {"a cross-origin iframe", crossOriginFrame, false},
      {"an iframe of the same origin", sameOriginFrame, false},
      {"a source nobody could tell", unknownSource, false},
      {"localhost in place of 127.0.0.1", localhostMain, false},
      {"an opaque main frame", opaqueMain, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    navigations_.clear();
    view_->postMessage("navigation", Json{{"panel", "settings"}}, row.source);
    EXPECT_EQ(navigations_.size(), row.taken ? 1u : 0u);
  }
}

TEST_F(StickyPageRoutingTest, NavigationBodiesAreCheckedBeforeTheMainWindowSeesThem) {
  const std::string card160(160, 'a');
  const std::string han512 = [] {
    std::string text;
    for (int i = 0; i < 512; ++i) text += "汉";
    return text;
  }();
  struct Row {
    const char* what;
    Json body;
    bool taken;
  };
  const Row rows[] = {
      {"a panel", Json{{"panel", "settings"}}, true},
      {"every surface of the table", Json{{"surface", "daily"}}, true},
      {"chat with a card", Json{{"surface", "chat"}, {"cardId", "Card_01-x"}}, true},
      {"a card id of 160", Json{{"surface", "chat"}, {"cardId", card160}}, true},
      {"a card id of 161", Json{{"surface", "chat"}, {"cardId", card160 + "a"}}, false},
      {"an empty card id", Json{{"surface", "chat"}, {"cardId", ""}}, false},
      {"a card id with a dot", Json{{"surface", "chat"}, {"cardId", "a.b"}}, false},
      {"a card id with a script", Json{{"surface", "chat"}, {"cardId", "');alert(1)//"}}, false},
      {"a card with another surface", Json{{"surface", "tasks"}, {"cardId", "abc"}}, false},
      {"a card named by panel", Json{{"panel", "chat"}, {"cardId", "abc"}}, true},
      {"a surface outside the table", Json{{"surface", "inbox"}}, false},
      {"case matters", Json{{"surface", "Settings"}}, false},
      {"surface wins over panel", Json{{"surface", "calendar"}, {"panel", "nonsense"}}, true},
      {"a bad surface is not saved by a good panel", Json{{"surface", "nonsense"}, {"panel", "settings"}}, false},
      {"no target", Json{{"cardId", "abc"}}, false},
      {"512 characters", Json{{"panel", "settings"}, {"note", han512}}, true},
      {"513 characters", Json{{"panel", "settings"}, {"note", han512 + "汉"}}, false},
      {"a value that is no string", Json{{"panel", "settings"}, {"count", 3}}, false},
      {"a target that is no string", Json{{"panel", true}}, false},
      {"an array", Json::array({"settings"}), false},
      {"a string", Json("settings"), false},
      {"null", Json(nullptr), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    navigations_.clear();
    view_->postMessage("navigation", row.body, localMain);
    ASSERT_EQ(navigations_.size(), row.taken ? 1u : 0u);
    if (row.taken) {
      Body expected;
      for (const auto& [key, value] : row.body.items()) expected[key] = value.get<std::string>();
      EXPECT_EQ(navigations_.front(), expected) << "the whole body goes on";
    }
  }
  for (const char* surface : {"account", "settings", "calendar", "tasks", "chat", "memory", "daily"}) {
    navigations_.clear();
    view_->postMessage("navigation", Json{{"surface", surface}}, localMain);
    EXPECT_EQ(navigations_.size(), 1u) << surface;
  }
}

TEST_F(StickyPageRoutingTest, HoverDecidesWhetherThePageCanBeGrabbed) {
  struct Row {
    Json body;
    bool grabbable;
  };
  const Row rows[] = {{Json(true), false}, {Json(false), true}, {Json("true"), true},
                      {Json(1), true},     {Json(nullptr), true}, {Json::object(), true}};
  for (const Row& row : rows) {
    view_->postMessage("hover", row.body, localMain);
    EXPECT_EQ(controller_->chrome()->grabbable(), row.grabbable) << row.body.dump();
  }
}

TEST_F(StickyPageRoutingTest, TheLastHoverReportIsRenewedOnEveryPointerMove) {
  controller_->show();
  surface_->setActive(true);
  view_->postMessage("hover", Json(true), localMain);
  loop_.advance(5);  // the report is stale by now
  surface_->move({200, 200});
  EXPECT_EQ(surface_->press({200, 200}), StickyPressOutcome::toPage) << "renewed: over an interactive element";
  surface_->release({200, 200});
  EXPECT_EQ(window_->moveDragCount(), 0);

  view_->postMessage("hover", Json(false), localMain);
  loop_.advance(5);
  EXPECT_EQ(surface_->press({200, 200}), StickyPressOutcome::handled) << "renewed by the press itself";
  EXPECT_EQ(window_->moveDragCount(), 1);
}

TEST_F(StickyPageRoutingTest, WindowStateFromTheWidgetPageAsksForTheServersSettings) {
  view_->postMessage("windowState", Json::object(), crossOriginFrame);
  view_->postMessage("windowState", Json::object(), unknownSource);
  view_->postMessage("windowState", Json("visible"), localMain);
  EXPECT_EQ(exchange_->syncs, 0);
  EXPECT_FALSE(controller_->pageReported());
  view_->postMessage("windowState", Json{{"visible", true}}, localMain);
  EXPECT_EQ(exchange_->syncs, 1);
  EXPECT_TRUE(controller_->pageReported());
}

TEST_F(StickyPageRoutingTest, PointerChangesReachThePageOnlyOnceTheWidgetPageHasLoaded) {
  surface_->enter({100, 100});
  surface_->move({5, 100});
  EXPECT_TRUE(view_->scripts().empty());
  EXPECT_EQ(surface_->rings(), std::vector<bool>{true}) << "the ring changes with inside, not with the zone";

  finishWidgetPage();
  surface_->move({100, 455});
  surface_->exit();
  const std::vector<std::string> expected = {
      "window.__stickyPointer && window.__stickyPointer({ inside: true, zone: 'top' })",
      "window.__stickyPointer && window.__stickyPointer({ inside: false, zone: 'interior' })"};
  EXPECT_EQ(view_->scripts(), expected);
  EXPECT_EQ(surface_->rings(), (std::vector<bool>{true, false}));
}

TEST_F(StickyPageRoutingTest, OnlyTheWidgetPageCountsAsLoaded) {
  view_->finishNavigation("about:blank");
  view_->finishNavigation("http://127.0.0.1:4173/index.html");
  EXPECT_FALSE(controller_->loadedRealPage());
  finishWidgetPage();
  EXPECT_TRUE(controller_->loadedRealPage());
  view_->finishNavigation("http://127.0.0.1:4173/widget.html#later");
  EXPECT_TRUE(controller_->loadedRealPage());
  // A frame that blanked the window, or the offline page: the widget page is gone and
  // the next recovery must load it again.
  view_->finishNavigation("about:blank");
  EXPECT_FALSE(controller_->loadedRealPage());
}

// Which new windows open what is the page host's (PageHostRoutingTest); here, that the
// main page's reaches the main window.
TEST_F(StickyPageRoutingTest, ANewWindowForTheMainPageBringsUpTheMainWindow) {
  view_->requestNewWindow(NavigationAction{"http://127.0.0.1:4173/index.html", true, true, true});
  EXPECT_EQ(showMains_, 1);
  EXPECT_TRUE(desktop_.browserUrls().empty());
}

TEST_F(StickyPageRoutingTest, OtherMessagesAreIgnored) {
  view_->postMessage("voice", Json{{"type", "listen.start"}}, localMain);
  view_->postMessage("download", Json{{"requestId", "a"}}, localMain);
  view_->postMessage("mainWindow", Json{{"type", "chrome"}}, localMain);
  EXPECT_TRUE(view_->scripts().empty());
  EXPECT_TRUE(navigations_.empty());
  EXPECT_EQ(server_->healthCheckCount(), 0);
}

// Recovery -------------------------------------------------------------------------------

// Shown before the launch's load (the server's saved setting), the window loads its page
// through the recovery; the launch's load then leaves that page alone, loading or loaded,
// and loads again only after a failure.
TEST_F(StickyPageRoutingTest, TheLaunchLoadLeavesAPageAlreadyComingAlone) {
  controller_->present();
  server_->completeHealth(true);
  loop_.advance(0.5);
  ASSERT_EQ(widgetLoads(), 1u);
  controller_->load();
  EXPECT_EQ(widgetLoads(), 1u) << "loading";

  view_->failProvisionalNavigation("refused", std::string(widgetPage));
  controller_->load();
  EXPECT_EQ(widgetLoads(), 2u) << "after a failure";

  finishWidgetPage();
  controller_->load();
  EXPECT_EQ(widgetLoads(), 2u) << "loaded";
}

TEST_F(StickyPageRoutingTest, AUsableServerReloadsTheWidgetPageHalfASecondLater) {
  controller_->present();
  ASSERT_EQ(server_->healthCheckCount(), 1);
  server_->completeHealth(true);
  loop_.advance(0.499);
  EXPECT_EQ(widgetLoads(), 0u);
  loop_.advance(0.001);
  EXPECT_EQ(widgetLoads(), 1u);
  EXPECT_DOUBLE_EQ(view_->lastLoad()->timeoutSeconds, 60);
}

TEST_F(StickyPageRoutingTest, AnUnusableServerIsWaitedForOnceWhenItCanStillComeUp) {
  struct Row {
    const char* what;
    bool waiting;
    bool childRunning;
    bool autoStart;
    bool startLaunches;
    bool waits;
    int starts;
  };
  const Row rows[] = {
      {"a wait already runs", true, false, false, false, true, 0},
      {"the child runs", false, true, false, false, true, 0},
      {"auto-start launches it", false, false, true, true, true, 1},
      {"auto-start fails", false, false, true, false, false, 1},
      {"auto-start off", false, false, false, false, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setWaitingForReadiness(row.waiting);
    server_->setChildRunning(row.childRunning);
    server_->setAutoStart(row.autoStart);
    server_->setStartResult(row.startLaunches);
    create();
    view_->failProvisionalNavigation("Could not connect");
    server_->completeHealth(false);
    loop_.runUntilIdle();
    EXPECT_EQ(server_->startCount(), row.starts);
    ASSERT_EQ(server_->waitTimeouts().size(), row.waits ? 1u : 0u);
    if (row.waits) {
      EXPECT_DOUBLE_EQ(server_->waitTimeouts()[0], 12);
      server_->completeWait(true);
      EXPECT_EQ(widgetLoads(), 1u) << "ready: loaded at once";
    }
    loop_.advance(1);
    EXPECT_EQ(server_->factsCount(), 0) << "no offline page without the retry button";
    EXPECT_EQ(view_->loads().size(), row.waits ? 1u : 0u) << "the widget page, once, or nothing";
  }
}

TEST_F(StickyPageRoutingTest, AFailedWaitEndsSilentlyForAllTriggersButRetry) {
  server_->setChildRunning(true);
  view_->failNavigation("interrupted");
  server_->completeHealth(false);
  loop_.runUntilIdle();
  ASSERT_TRUE(server_->completeWait(false));
  loop_.advance(1);
  EXPECT_EQ(server_->factsCount(), 0);
  EXPECT_EQ(server_->pendingWaits(), 0u) << "the sticky window waits only once";
  EXPECT_TRUE(view_->loads().empty());
}

TEST_F(StickyPageRoutingTest, RetryWithTheServerDownShowsAFreshOfflinePage) {
  const std::string trigger = "在浮窗上点了「重试」";
  struct Row {
    const char* what;
    bool childRunning;
  };
  for (const Row& row : {Row{"auto-start off", false}, Row{"our child replaced, then a wait that fails", true}}) {
    SCOPED_TRACE(row.what);
    server_ = std::make_shared<FakeServerSupervisor>();
    server_->setChildRunning(row.childRunning);
    server_->setStartResult(row.childRunning);
    create();
    view_->postMessage("startup", Json{{"type", "retry"}}, MessageSource{true, true, "about:blank", "null"});
    ASSERT_TRUE(server_->completeHealth(false));
    loop_.runUntilIdle();
    EXPECT_EQ(server_->restartCount(), row.childRunning ? 1 : 0);
    if (row.childRunning) {
      ASSERT_TRUE(server_->completeWait(false));
    }
    loop_.runUntilIdle();
    ASSERT_TRUE(server_->completeFacts(disabledFacts()));
    loop_.runUntilIdle();
    const StartupNotice retried = ServerStartupDiagnosis::notice(disabledFacts(), trigger, true);
    const StartupNotice firstTry = ServerStartupDiagnosis::notice(disabledFacts(), trigger, false);
    ASSERT_NE(WebViewFactory::offlineHTML(retried, true), WebViewFactory::offlineHTML(firstTry, true));
    EXPECT_EQ(lastHtml(), WebViewFactory::offlineHTML(retried, true)) << "the notice says it was a retry";
  }
}

TEST_F(StickyPageRoutingTest, RetryIsHeardOnlyFromTheMainFrameWithTheRightShapeAndBeforeThePageLoads) {
  view_->postMessage("startup", Json{{"type", "retry"}}, crossOriginFrame);
  view_->postMessage("startup", Json{{"type", "retry"}}, unknownSource);
  view_->postMessage("startup", Json{{"type", "again"}}, localMain);
  view_->postMessage("startup", Json("retry"), localMain);
  EXPECT_EQ(server_->healthCheckCount(), 0);
  view_->postMessage("startup", Json{{"type", "retry"}}, localMain);
  EXPECT_EQ(server_->healthCheckCount(), 1);

  finishWidgetPage();
  view_->postMessage("startup", Json{{"type", "retry"}}, localMain);
  EXPECT_EQ(server_->healthCheckCount(), 1);
}

TEST_F(StickyPageRoutingTest, ShowingChecksTheServerOnlyWhileThePageHasNeverLoaded) {
  controller_->present();
  controller_->dismiss();
  controller_->present();
  EXPECT_EQ(server_->healthCheckCount(), 2);
  finishWidgetPage();
  controller_->dismiss();
  controller_->present();
  EXPECT_EQ(server_->healthCheckCount(), 2);

  view_->failProvisionalNavigation("refused");
  view_->failNavigation("reset");
  EXPECT_EQ(server_->healthCheckCount(), 4) << "failed loads keep checking after the page loaded";
}

TEST_F(StickyPageRoutingTest, ARecoveryWhoseControllerIsGoneDoesNothing) {
  server_->setAutoStart(true);
  server_->setStartResult(true);
  view_->failProvisionalNavigation("refused");
  view_->failProvisionalNavigation("refused");
  ASSERT_TRUE(server_->completeHealth(false));
  loop_.runUntilIdle();
  ASSERT_EQ(server_->pendingWaits(), 1u);
  controller_.reset();
  EXPECT_TRUE(server_->completeHealth(false));
  EXPECT_TRUE(server_->completeWait(true));
  loop_.advance(1);
  EXPECT_EQ(server_->startCount(), 1) << "no start for a controller that is gone";
  EXPECT_TRUE(view_->loads().empty());
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

TEST_F(StickyPageRoutingTest, DownloadMessagesGoToTheWindowsPanelsWithTheWidgetsToastHost) {
  const std::string blob = "blob:http://127.0.0.1:4173/b1";
  view_->postMessage("download", {{"type", "expect"}, {"requestId", "r1"}, {"blobURL", blob}, {"filename", "a.txt"}});
  view_->postMessage("download", {{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob}});
  bool receipt = false;
  for (const auto& call : view_->pendingCalls()) {
    if (call.arguments && call.arguments->value("name", "") == "__tovarinDownload") {
      EXPECT_EQ((*call.arguments)["toastHost"], "__widget");
      receipt = true;
    }
  }
  EXPECT_TRUE(receipt);
  EXPECT_FALSE(controller_->pageHost()->webViewAllowsAuthentication("evil.example", 443));
}

}  // namespace
}  // namespace tovarin
