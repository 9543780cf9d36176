#include <gtest/gtest.h>

#include <chrono>

#include "base/UserDefaults.h"
#include "main/page/WebViewFactory.h"
#include "main/server/ServerStartupDiagnosis.h"
#include "main/windows/MainWindowController.h"
#include "platform/gtk/GtkDesktop.h"
#include "tests/platform/gtk/BrowserRecordingDesktop.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/platform/gtk/PageScript.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PageServer.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// The main window on the real desktop: a WebKitGTK view in a GTK window, the offline page
// rendered by the engine, the supervisor driven by the test.
class MainWindowE2ETest : public testing::Test {
 protected:
  MainWindowE2ETest() : desktop_(env().loop()) {
    pages_.addHtml("/index.html",
                   "<!doctype html><title>main</title><script>window.firstClasses = "
                   "document.documentElement.className;</script><p id=main>main page</p>");
    controller_ = MainWindowController::create(
        AppConfig(".", pages_.port(), false),
        {{env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_});
    controller_->window()->show();
  }
  ~MainWindowE2ETest() override {
    controller_.reset();
    drainReady();
  }

  static GtkTestEnvironment& env() { return GtkTestEnvironment::instance(); }

  // Evaluates in the page and waits for the answer.
  ScriptValue evaluate(const std::string& script) {
    return evaluateInPage(*controller_->webView(), script);
  }
  bool pageHas(const std::string& selector) {
    return evaluate("document.querySelector('" + selector + "') !== null").isTrue();
  }
  bool waitForPageWith(const std::string& selector) {
    return pumpUntil([&] { return pageHas(selector); });
  }

  PageServer pages_;
  TempDir dir_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  FakeAccessibilitySettings accessibility_;
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  BrowserRecordingDesktop desktop_;
  std::shared_ptr<MainWindowController> controller_;
};

// Hostile pages: a frame of another origin (another loopback port) inside the local main
// page, or the main page itself, trying to leave the window or start recoveries.
class MainWindowBoundaryE2ETest : public MainWindowE2ETest {
 protected:
  // Loads the local main page holding `body` and waits until it has loaded.
  void loadMainPageWith(const std::string& body) {
    pages_.addHtml("/index.html", "<!doctype html><title>main</title><p id=main>main page</p>" + body);
    controller_->load();
    ASSERT_TRUE(pumpUntil([&] { return controller_->loadedOnce(); }));
  }
  // Lets the page and its frames run for a moment, with round trips through the page.
  void settle() {
    for (int i = 0; i < 20; ++i) evaluate("1");
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    pumpUntil([&] { return std::chrono::steady_clock::now() > until; }, 5);
  }
  void expectStillOnTheLocalPage() {
    EXPECT_TRUE(desktop_.browserUrls.empty()) << desktop_.browserUrls.front();
    EXPECT_EQ(server_->healthCheckCount(), 0) << "no recovery";
    EXPECT_EQ(controller_->webView()->url(), pages_.url("/index.html"));
    EXPECT_TRUE(pageHas("#main"));
  }

  PageServer foreign_;
};

TEST_F(MainWindowBoundaryE2ETest, AForeignFramesPopupsWithoutAClickOpenNothing) {
  foreign_.addHtml("/ads.html",
                   "<!doctype html><script>for (let i = 0; i < 5; i++) window.open('https://example.com/' + i);"
                   "window.open('" + pages_.url("/index.html") + "');</script>");
  loadMainPageWith("<iframe src='" + foreign_.url("/ads.html") + "'></iframe>");
  ASSERT_TRUE(pumpUntil([&] { return foreign_.requestsFor("/ads.html") > 0; }));
  settle();
  expectStillOnTheLocalPage();
}

TEST_F(MainWindowBoundaryE2ETest, AScriptNavigationToAnotherSchemeIsCancelledWithoutAReloadLoop) {
  for (const char* target : {"mailto:someone@example.com", "foo:bar", "the-tovarin://tasks"}) {
    SCOPED_TRACE(target);
    server_ = std::make_shared<FakeServerSupervisor>();
    controller_ = MainWindowController::create(
        AppConfig(".", pages_.port(), false),
        {{env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_});
    loadMainPageWith(std::string("<script>setTimeout(() => { location.href = '") + target + "'; }, 50);</script>");
    settle();
    expectStillOnTheLocalPage();
  }
}

TEST_F(MainWindowBoundaryE2ETest, AMainFrameLeftForABlankPageIsLoadedAgainOnReconnect) {
  loadMainPageWith("<script>setTimeout(() => { location.href = 'about:blank'; }, 50);</script>");
  // Either refused, or blank and no longer counted as loaded: never blank for good.
  settle();
  if (controller_->webView()->url() == "about:blank") {
    EXPECT_FALSE(controller_->loadedOnce());
    controller_->reload();
    ASSERT_TRUE(pumpUntil([&] { return server_->pendingHealthChecks() == 1; }));
    ASSERT_TRUE(server_->completeHealth(true));
    ASSERT_TRUE(pumpUntil([&] { return controller_->loadedOnce(); }));
  }
  EXPECT_EQ(controller_->webView()->url(), pages_.url("/index.html"));
  EXPECT_TRUE(waitForPageWith("#main"));
  EXPECT_TRUE(desktop_.browserUrls.empty());
}

TEST_F(MainWindowBoundaryE2ETest, ARedirectToAnOutsideAddressOpensTheBrowserOnce) {
  foreign_.addHtml("/away.html", "<!doctype html><p id=away>away</p>");
  PageServer::Page redirect;
  redirect.status = 302;
  redirect.extraHeaders = "Location: " + foreign_.url("/away.html") + "\r\n";
  pages_.add("/go", redirect);
  // A script navigation: WebKitGTK names no frame for it, so the redirect is checked
  // when it happens and again at its response.
  loadMainPageWith("<script>setTimeout(() => { location.href = '/go'; }, 50);</script>");
  ASSERT_TRUE(pumpUntil([&] { return pages_.requestsFor("/go") > 0; }));
  settle();
  EXPECT_EQ(desktop_.browserUrls, std::vector<std::string>{foreign_.url("/away.html")});
  EXPECT_EQ(controller_->webView()->url(), pages_.url("/index.html"));
  EXPECT_EQ(server_->healthCheckCount(), 0);
}

TEST_F(MainWindowE2ETest, TheOfflinePageRetryButtonReachesTheControllerOnceAndLeadsToTheMainPage) {
  ServerStartupFacts facts;
  facts.port = pages_.port();
  controller_->showOffline(ServerStartupDiagnosis::notice(facts, "打开岚笺时", false));
  ASSERT_TRUE(waitForPageWith("[data-retry]"));
  EXPECT_TRUE(evaluate("document.documentElement.classList.contains('is-native-main')").isTrue());
  EXPECT_TRUE(evaluate("!document.querySelector('[data-retry]').hidden").isTrue()) << "the view has the handler";

  // Two presses in a row: the second finds the button busy and posts nothing.
  EXPECT_TRUE(evaluate("(function(){ var b = document.querySelector('[data-retry]'); b.click(); b.click(); "
                       "return b.disabled && b.getAttribute('aria-busy') === 'true' && b.textContent === '正在重试…'; })()")
                  .isTrue());
  ASSERT_TRUE(pumpUntil([&] { return server_->healthCheckCount() >= 1; }));
  // A round trip through the page after the presses: any second message would be here by now.
  evaluate("1");
  EXPECT_EQ(server_->healthCheckCount(), 1);

  ASSERT_TRUE(server_->completeHealth(true));
  ASSERT_TRUE(pumpUntil([&] { return controller_->loadedOnce(); }));
  EXPECT_TRUE(pageHas("#main"));
  EXPECT_EQ(controller_->webView()->url(), pages_.url("/index.html"));
  EXPECT_TRUE(evaluate("window.firstClasses.split(' ').indexOf('is-native-main') >= 0").isTrue())
      << "the class is there before the page's first script";
}

TEST_F(MainWindowE2ETest, WithoutTheStartupHandlerTheOfflinePageHasNoRetryButton) {
  auto bare = env().provider().makeWebView(WebViewOptions{false, {"other"}});
  bare->loadHtml(WebViewFactory::offlineHTML(StartupNotice{}, true), "");
  std::optional<ScriptValue> answer;
  ASSERT_TRUE(pumpUntil([&] {
    answer.reset();
    bare->evaluate("(function(){ var b = document.querySelector('[data-retry]'); return b ? b.hidden : null; })()",
                   [&](ScriptValue value) { answer = std::move(value); });
    pumpUntil([&] { return answer.has_value(); });
    return answer && answer->kind == ScriptValue::Kind::boolean;
  }));
  EXPECT_TRUE(answer->isTrue());
}

TEST_F(MainWindowE2ETest, ARefusedMainPageLoadEndsInTheOfflinePage) {
  // Nothing listens on the port of this window's configuration.
  const uint16_t port = LocalPorts::unused();
  auto refused = MainWindowController::create(
      AppConfig(".", port, false), {{env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_});
  refused->load();
  ASSERT_TRUE(pumpUntil([&] { return server_->pendingHealthChecks() == 1; }));
  ASSERT_TRUE(server_->completeHealth(false));
  ASSERT_TRUE(pumpUntil([&] { return server_->pendingFacts() == 1; }));
  ServerStartupFacts facts;
  facts.port = port;
  ASSERT_TRUE(server_->completeFacts(facts));

  std::optional<ScriptValue> answer;
  ASSERT_TRUE(pumpUntil([&] {
    answer.reset();
    refused->webView()->evaluate("(document.querySelector('[data-offline-detail]') || {}).textContent || ''",
                                 [&](ScriptValue value) { answer = std::move(value); });
    pumpUntil([&] { return answer.has_value(); });
    return answer && answer->text.find("连不上本机服务（端口 " + std::to_string(port) + "）") != std::string::npos;
  }));
  EXPECT_FALSE(refused->loadedOnce());
}

}  // namespace
}  // namespace tovarin
