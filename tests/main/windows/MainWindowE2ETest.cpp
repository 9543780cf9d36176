#include <gtest/gtest.h>

#include "base/UserDefaults.h"
#include "main/shell/ServerStartupDiagnosis.h"
#include "main/shell/WebViewFactory.h"
#include "main/windows/MainWindowController.h"
#include "platform/gtk/GtkDesktop.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
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
        {env().loop(), env().loop(), desktop_, env().provider(), accessibility_, defaults_, server_});
    controller_->window()->show();
  }
  ~MainWindowE2ETest() override {
    controller_.reset();
    drainReady();
  }

  static GtkTestEnvironment& env() { return GtkTestEnvironment::instance(); }

  // Evaluates in the page and waits for the answer.
  ScriptValue evaluate(const std::string& script) {
    std::optional<ScriptValue> answer;
    controller_->webView()->evaluate(script, [&](ScriptValue value) { answer = std::move(value); });
    EXPECT_TRUE(pumpUntil([&] { return answer.has_value(); })) << script;
    return answer.value_or(ScriptValue::error("no answer"));
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
  GtkDesktop desktop_;
  std::shared_ptr<MainWindowController> controller_;
};

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
      AppConfig(".", port, false), {env().loop(), env().loop(), desktop_, env().provider(), accessibility_, defaults_, server_});
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
