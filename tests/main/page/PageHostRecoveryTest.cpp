#include <gtest/gtest.h>

#include "tests/main/page/PageHostFixture.h"

namespace tovarin {
namespace {

class PageHostRecoveryTest : public PageHostFixture {
 protected:
  enum class Finding { usable, readyAfterWait, notReadyAfterWait, unusable };

  // Runs one recovery to its end with the server answering as `finding` says.
  std::vector<std::string> recoverWith(const PageHost::Recovery& recovery, Finding finding, bool pageShown) {
    host(MainWindowController::pagePolicy());
    if (pageShown) view_->finishNavigation("http://127.0.0.1:4173/index.html");
    client_->calls.clear();
    server_->setWaitingForReadiness(finding == Finding::readyAfterWait || finding == Finding::notReadyAfterWait);
    host_->recover(recovery);
    EXPECT_TRUE(server_->completeHealth(finding == Finding::usable));
    loop_.advance(PageHost::recoveryReloadDelay);
    if (server_->pendingWaits() > 0) {
      EXPECT_EQ(server_->waitTimeouts(), std::vector<double>{PageHost::readinessTimeout});
      server_->completeWait(finding == Finding::readyAfterWait);
    }
    loop_.runUntilIdle();
    if (server_->pendingFacts() > 0) {
      ServerStartupFacts facts;
      facts.port = 4173;
      server_->completeFacts(facts);
    }
    loop_.runUntilIdle();
    return client_->calls;
  }
};

using Calls = std::vector<std::string>;

// Each kind of recovery against each thing the server can turn out to be.
TEST_F(PageHostRecoveryTest, EveryRecoveryEndsInTheLoadTheReportOrTheOfflinePageItAskedFor) {
  const PageHost::Recovery replacing{.trigger = "t"};
  const PageHost::Recovery keeping{.trigger = "t", .preservePage = true};
  const PageHost::Recovery quiet{.trigger = {}, .showFailure = false};
  struct Case {
    const char* what;
    PageHost::Recovery recovery;
    bool pageShown;
    Calls usable, ready, notReady, unusable;
  };
  const Case cases[] = {
      {"a recovery that replaces the page", replacing, true, {"load"}, {"load"}, {"offline"}, {"offline"}},
      {"a recovery that keeps a shown page", keeping, true, {"kept, ready"}, {"kept, ready"}, {"kept, not ready"},
       {"kept, not ready"}},
      {"a recovery that would keep a page not shown", keeping, false, {"load"}, {"load"}, {"offline"}, {"offline"}},
      {"a quiet recovery", quiet, false, {"load"}, {"load"}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(recoverWith(c.recovery, Finding::usable, c.pageShown), c.usable);
    EXPECT_EQ(recoverWith(c.recovery, Finding::readyAfterWait, c.pageShown), c.ready);
    EXPECT_EQ(recoverWith(c.recovery, Finding::notReadyAfterWait, c.pageShown), c.notReady);
    EXPECT_EQ(recoverWith(c.recovery, Finding::unusable, c.pageShown), c.unusable);
  }
}

TEST_F(PageHostRecoveryTest, TheOfflineNoticeQuotesTheTriggerAndSaysWhetherItWasARetry) {
  for (bool retried : {false, true}) {
    SCOPED_TRACE(retried);
    recoverWith({.trigger = "点了「重试」", .retried = retried}, Finding::unusable, false);
    ASSERT_EQ(client_->notices.size(), 1u);
    EXPECT_NE(client_->notices.front().detail.find("点了「重试」"), std::string::npos);
    EXPECT_EQ(client_->notices.front().retried, retried);
  }
}

TEST_F(PageHostRecoveryTest, AUsableServersPageLoadsHalfASecondAfterTheCheck) {
  host(StickyWindowController::pagePolicy());
  host_->recover({.trigger = {}, .showFailure = false});
  ASSERT_TRUE(server_->completeHealth(true));
  loop_.advance(PageHost::recoveryReloadDelay - 0.001);
  EXPECT_TRUE(client_->calls.empty());
  loop_.advance(0.001);
  EXPECT_EQ(client_->calls, Calls{"load"});
}

}  // namespace
}  // namespace tovarin
