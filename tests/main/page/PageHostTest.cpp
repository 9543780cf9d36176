#include <gtest/gtest.h>

#include "tests/main/page/PageHostFixture.h"

namespace tovarin {
namespace {

class PageHostTest : public PageHostFixture {
 protected:
  // A host whose window has a handler of its own and a bridge it was made without.
  void hostWithHandlers(const PageHostPolicy& policy) {
    client_ = std::make_shared<RecordingPageHostClient>();
    server_ = std::make_shared<FakeServerSupervisor>();
    host_ = PageHost::create({loop_, loop_, server_, desktop_, webViews_, accessibility_}, LocalServer(4173), policy,
                             client_);
    host_->addHandler("chrome", [this](const ScriptMessage& message) { handled_.push_back(message.body.dump()); });
    host_->addBridge("voice", nullptr);
    host_->addHandler("chrome", [](const ScriptMessage&) { ADD_FAILURE() << "a second handler of a name"; });
    host_->makeWebView(std::weak_ptr<Window>());
    view_ = webViews_.last();
  }

  std::vector<std::string> handled_;
};

const MessageSource page = FakeWebView::mainFrameSource(4173);
const MessageSource sameOriginFrame{true, false, "http://127.0.0.1:4173/inner.html", "http://127.0.0.1:4173"};
const MessageSource foreignFrame{true, false, "https://ads.example/x", "https://ads.example"};

TEST_F(PageHostTest, TheWebViewRegistersTheWindowsNamesThenDownloadAndStartupAndRefusesASecondOfAName) {
  hostWithHandlers(MainWindowController::pagePolicy());
  EXPECT_EQ(view_->options().messageNames, (std::vector<std::string>{"chrome", "voice", "download", "startup"}));
  EXPECT_TRUE(log_.contains("[orvik] page: a second handler for chrome refused"));
  view_->postMessage("chrome", Json(1), page);
  EXPECT_EQ(handled_, std::vector<std::string>{"1"});
}

TEST_F(PageHostTest, TheWindowsOwnHandlersHearOnlyThePageAndItsOwnFrames) {
  hostWithHandlers(MainWindowController::pagePolicy());
  EXPECT_TRUE(host_->webViewAcceptsMessage("chrome", page));
  EXPECT_TRUE(host_->webViewAcceptsMessage("chrome", sameOriginFrame));
  EXPECT_FALSE(host_->webViewAcceptsMessage("chrome", foreignFrame));
  EXPECT_FALSE(host_->webViewAcceptsMessage("chrome", MessageSource{}));
  EXPECT_FALSE(host_->webViewAcceptsMessage("unregistered", page));
  EXPECT_EQ(log_.count("[orvik] chrome: message from a frame that is not the page dropped"), 1u);
  // Handed on without being asked first, a foreign frame's message is still refused.
  view_->postMessage("chrome", Json(2), foreignFrame);
  EXPECT_TRUE(handled_.empty());
}

TEST_F(PageHostTest, AMessageForABridgeTheWindowWasMadeWithoutEndsInTheWindowsLogLine) {
  for (const auto& window : hostedWindows()) {
    SCOPED_TRACE(window.name);
    hostWithHandlers(window.policy);
    LogRecorder log;
    const std::string line = "[orvik] voice: " + std::string(window.policy.missingBridgeLine) + ", message dropped";
    EXPECT_TRUE(host_->webViewAcceptsMessage("voice", page));
    for (int i = 0; i < 100; ++i) view_->postMessage("voice", Json{{"type", "listen.start"}}, page);
    EXPECT_EQ(log.count(line), 1u);
    loop_.advance(1.0);
    view_->postMessage("voice", Json{{"type", "listen.start"}}, page);
    EXPECT_EQ(log.count(line), 2u);
    EXPECT_TRUE(view_->scripts().empty());
  }
  EXPECT_EQ(std::string(MainWindowController::pagePolicy().missingBridgeLine), "no bridge in this window yet");
  EXPECT_EQ(std::string(StickyWindowController::pagePolicy().missingBridgeLine), "no bridge in the sticky window yet");
}

TEST_F(PageHostTest, TheOfflinePagesRetryIsHeardFromThePageItselfWithTheRightShapeBeforeThePageShows) {
  struct Case {
    const char* what;
    Json body;
    MessageSource source;
    bool heard;
  };
  const Case cases[] = {
      {"the offline page's button", Json{{"type", "retry"}}, page, true},
      {"a frame of the page", Json{{"type", "retry"}}, sameOriginFrame, false},
      {"facts unknown", Json{{"type", "retry"}}, MessageSource{}, false},
      {"another type", Json{{"type", "reload"}}, page, false},
      {"not an object", Json("retry"), page, false},
  };
  for (const auto& window : hostedWindows()) {
    host(window.policy);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(window.name) + ": " + c.what);
      client_->calls.clear();
      view_->postMessage("startup", c.body, c.source);
      EXPECT_EQ(client_->calls, c.heard ? std::vector<std::string>{"retry"} : std::vector<std::string>{});
    }
    view_->finishNavigation("http://127.0.0.1:4173/" + std::string(window.policy.page));
    ASSERT_TRUE(host_->showsPage());
    client_->calls.clear();
    view_->postMessage("startup", Json{{"type", "retry"}}, page);
    EXPECT_TRUE(client_->calls.empty()) << window.name << ": the page shows, there is nothing to retry";
  }
}

TEST_F(PageHostTest, OnlyTheWindowsOwnPageOfTheServerCountsAsShown) {
  struct Step {
    std::string url;
    bool main;    // the main window's page shows afterwards
    bool sticky;  // the sticky window's
  };
  // One sequence of finished loads in each window.
  const Step steps[] = {
      {"about:blank", false, false},
      {"http://127.0.0.1:4173/widget.html", false, true},
      {"http://127.0.0.1:4173/index.html", true, true},
      {"http://127.0.0.1:4173/other.html", true, true},  // another page of the server: as it was
      {"https://example.com/", false, false},
      {"http://127.0.0.1:4173/other.html", false, false},
  };
  const auto windows = hostedWindows();
  for (size_t w = 0; w < windows.size(); ++w) {
    host(windows[w].policy);
    for (const auto& step : steps) {
      SCOPED_TRACE(std::string(windows[w].name) + ": " + step.url);
      client_->calls.clear();
      view_->finishNavigation(step.url);
      EXPECT_EQ(host_->showsPage(), w == 0 ? step.main : step.sticky);
      EXPECT_EQ(client_->calls, (std::vector<std::string>{"finished", "settled"}));
    }
  }
}

TEST_F(PageHostTest, OnlyFailuresOnTheLocalServerAreOutages) {
  struct Case {
    const char* failingUrl;
    bool outage;
  };
  const Case cases[] = {
      {"http://127.0.0.1:4173/index.html", true},
      {"", true},  // nothing known of where: the server's, to be safe
      {"https://example.com/", false},
      {"http://127.0.0.1:4174/index.html", false},
  };
  for (const auto& window : hostedWindows()) {
    host(window.policy);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(window.name) + ": " + c.failingUrl);
      client_->calls.clear();
      host_->webViewDidFailProvisionalNavigation("refused", c.failingUrl);
      host_->webViewDidFailNavigation("reset", c.failingUrl);
      const std::vector<std::string> expected =
          c.outage ? std::vector<std::string>{"settled", "lost before commit: refused", "settled",
                                              "lost after commit: reset"}
                   : std::vector<std::string>{"settled", "settled"};
      EXPECT_EQ(client_->calls, expected);
    }
    client_->calls.clear();
    host_->webViewWebContentProcessDidTerminate();
    EXPECT_EQ(client_->calls, std::vector<std::string>{"process ended"});
  }
}

TEST_F(PageHostTest, TheHostHoldsItsWindowWeaklyAndTellsNobodyOnceItIsGone) {
  host(MainWindowController::pagePolicy());
  auto calls = client_;
  client_.reset();
  std::weak_ptr<RecordingPageHostClient> gone = calls;
  calls->calls.clear();
  calls.reset();
  ASSERT_TRUE(gone.expired());
  host_->webViewDidFailProvisionalNavigation("refused", "http://127.0.0.1:4173/index.html");
  view_->postMessage("startup", Json{{"type", "retry"}}, page);
  view_->finishNavigation("http://127.0.0.1:4173/index.html");
  host_->webViewWebContentProcessDidTerminate();
  EXPECT_TRUE(host_->showsPage());
}

}  // namespace
}  // namespace tovarin
