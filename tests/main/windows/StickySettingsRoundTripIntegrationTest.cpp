#include "main/windows/StickySettingsRoundTrip.h"

#include <gtest/gtest.h>

#include <mutex>

#include "base/BeastHttpClient.h"
#include "base/SerialQueue.h"
#include "tests/main/windows/StickyWindowFixture.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackServer.h"

namespace tovarin {
namespace {

// The round trip reading a real HTTP peer on loopback: the answer crosses the network
// thread and the parse queue before it reaches the virtual-time main loop.
class StickySettingsRoundTripIntegrationTest : public StickyWindowFixture {
 protected:
  void start(const std::string& dataUrl) {
    create();
    finishWidgetPage();
    roundTrip_ = StickySettingsRoundTrip::create(dataUrl, {loop_, parseQueue_, http_, presenter_}, controller_);
    controller_->setSettingsExchange(roundTrip_);
  }
  void startWithServer() {
    server_ = std::make_unique<LoopbackServer>([this](LoopbackConnection& connection) {
      while (connection.readRequest()) {
        if (holdAnswers_) (void)gate_.wait();
        std::string body;
        {
          std::lock_guard lock(mutex_);
          body = R"({"data":{"settings":)" + settings_ + "}}";
        }
        if (!connection.respond(200, body)) return;
      }
    });
    start(server_->baseUrl() + "/api/data");
  }
  void serverHolds(const std::string& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }
  bool readFinishes() {
    return loop_.waitFor([&] { return !roundTrip_->readInFlight(); }, 20);
  }

  std::shared_ptr<BeastHttpClient> http_ = std::make_shared<BeastHttpClient>();
  SerialQueue parseQueue_{"sticky-settings-test"};
  std::shared_ptr<FakePanelPresenter> presenter_ = std::make_shared<FakePanelPresenter>();
  std::mutex mutex_;
  std::string settings_ = R"({"floatingWindow":false,"stickyLevel":"floating","stickySpaceScope":"current"})";
  bool holdAnswers_ = false;  // set before the server starts
  Gate gate_;
  std::unique_ptr<LoopbackServer> server_;
  std::shared_ptr<StickySettingsRoundTrip> roundTrip_;
};

TEST_F(StickySettingsRoundTripIntegrationTest, ServerValuesMoveTheWindowAndConfirmTheUsersChange) {
  startWithServer();
  serverHolds(R"({"stickyLevel":"desktop","stickySpaceScope":"all"})");
  controller_->syncFromServer();
  ASSERT_TRUE(readFinishes());
  ASSERT_TRUE(server_->waitForRequests(1));
  EXPECT_EQ(server_->requests()[0].method, "GET");
  EXPECT_EQ(server_->requests()[0].target, "/api/data");
  EXPECT_TRUE(window_->isVisible()) << "no floatingWindow: shown";
  EXPECT_EQ(controller_->level(), StickyLevel::desktop);
  EXPECT_TRUE(window_->onAllWorkspaces());

  controller_->setLevel(StickyLevel::main);
  serverHolds(R"({"floatingWindow":true,"stickyLevel":"main","stickySpaceScope":"all"})");
  ASSERT_TRUE(view_->answerNext(ScriptValue::ofBool(true)));
  ASSERT_TRUE(readFinishes());
  EXPECT_TRUE(roundTrip_->state().pending().empty()) << "confirmed by the read-back";
  loop_.advance(10.0);
  ASSERT_TRUE(readFinishes());
  EXPECT_EQ(controller_->level(), StickyLevel::main);
  EXPECT_TRUE(presenter_->alerts().empty());
}

TEST_F(StickySettingsRoundTripIntegrationTest, ASlowReadOvertakenByANewChangeIsIgnored) {
  holdAnswers_ = true;
  startWithServer();
  serverHolds(R"({"floatingWindow":true,"stickyLevel":"topmost","stickySpaceScope":"all"})");
  controller_->syncFromServer();
  ASSERT_TRUE(server_->waitForRequests(1));
  controller_->setSpaceScope(StickySpaceScope::current);  // the user's change while the read is out
  controller_->setLevel(StickyLevel::normal);
  gate_.open();
  ASSERT_TRUE(readFinishes());
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(controller_->level(), StickyLevel::normal);
  EXPECT_FALSE(window_->onAllWorkspaces());
}

TEST_F(StickySettingsRoundTripIntegrationTest, AnUnreachableServerLeavesTheChangeToRollBack) {
  uint16_t closedPort;
  {
    LoopbackServer gone(nullptr);
    closedPort = gone.port();
  }
  start("http://127.0.0.1:" + std::to_string(closedPort) + "/api/data");
  controller_->setLevel(StickyLevel::topmost);
  ASSERT_TRUE(view_->answerNext(ScriptValue::ofBool(true)));
  ASSERT_TRUE(readFinishes());
  EXPECT_EQ(controller_->level(), StickyLevel::topmost) << "a failed read applies nothing";
  loop_.advance(5.0);
  ASSERT_TRUE(readFinishes());
  loop_.advance(5.0);
  EXPECT_EQ(controller_->level(), StickyLevel::floating);
  EXPECT_EQ(presenter_->alerts().size(), 1u);
}

}  // namespace
}  // namespace tovarin
