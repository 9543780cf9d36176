#include "main/changes/ChangeWatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/BeastEventStream.h"
#include "base/SerialQueue.h"
#include "tests/support/ChunkedEventStream.h"
#include "tests/support/FakeWidgetTimelines.h"
#include "tests/support/Gate.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

// Passes while nothing happens; for checks that something does NOT come.
void settle(ManualLoop& loop, double seconds = 0.3) { loop.waitFor([] { return false; }, seconds); }

TEST(ChangeWatcherStreamTest, AnEventReloadsOnceAndCallsBackOnceOnTheMainLoop) {
  ManualLoop mainLoop;
  SerialQueue queue("com.orvik.test.changes");
  Gate sendEvent;
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening(": hello\n\n"));
    if (!sendEvent.wait()) return;
    connection.write(ChunkedEventStream::chunk("event: change\ndata: {\"kind\":\"tasks\"}\n\n"));
    connection.waitForPeerClose(30);
  });
  FakeWidgetTimelines widgets(queue);
  BeastEventStream stream;
  auto watcher = ChangeWatcher::create(server.port(), stream, widgets, queue, mainLoop);
  std::atomic<int> changes{0};
  std::atomic<bool> offMain{false};
  watcher->setOnChange([&] {
    if (!mainLoop.isMainThread()) offMain = true;
    ++changes;
  });
  watcher->start();
  ASSERT_TRUE(server.waitForRequests(1));
  settle(mainLoop);  // the comment arrives and must do nothing
  EXPECT_TRUE(widgets.reloads().empty());
  EXPECT_EQ(changes.load(), 0);

  sendEvent.open();
  ASSERT_TRUE(mainLoop.waitFor([&] { return changes.load() == 1; }, 20));
  settle(mainLoop);
  EXPECT_EQ(changes.load(), 1);
  EXPECT_EQ(widgets.reloads().size(), 1u);
  EXPECT_FALSE(offMain.load());
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/api/stream");
  EXPECT_EQ(requests[0].header("accept"), "text/event-stream");

  watcher->stop();
  queue.sync([] {});
  watcher.reset();
}

// Real sockets, virtual time: the watcher's queue is the ManualLoop, so its reconnect
// timers wait for advance() while the stream itself is real.
class ChangeWatcherReconnectTest : public testing::Test {
 protected:
  std::shared_ptr<ChangeWatcher> makeWatcher(const LoopbackServer& server, double idleTimeout = 60) {
    ChangeWatcher::Timing timing;
    timing.idleTimeout = idleTimeout;
    return ChangeWatcher::create(server.port(), stream_, widgets_, loop_, loop_, timing);
  }
  // The stream ended when the reconnect timer is armed.
  bool waitForReconnectTimer() {
    return loop_.waitFor([&] { return loop_.pendingTimers() == 1; }, 20);
  }
  // Just before the delay nothing connects; at the delay the next attempt does.
  void expectReconnectAfter(LoopbackServer& server, double delay) {
    const size_t before = server.acceptedConnections();
    loop_.advance(delay - 0.001);
    settle(loop_);
    EXPECT_EQ(server.acceptedConnections(), before);
    loop_.advance(0.001);
    EXPECT_TRUE(server.waitForConnections(before + 1));
  }

  ManualLoop loop_;
  LogRecorder logs_;
  FakeWidgetTimelines widgets_{loop_};
  BeastEventStream stream_;
};

TEST_F(ChangeWatcherReconnectTest, ARefusalIsLoggedAndRetriedAfterFiveMinutes) {
  LoopbackServer server(LoopbackServer::answering(503, "{\"error\":\"busy\"}"));
  auto watcher = makeWatcher(server);
  watcher->start();
  ASSERT_TRUE(waitForReconnectTimer());
  EXPECT_EQ(logs_.lines(), (std::vector<std::string>{"[orvik] stream refused: HTTP 503"}));
  expectReconnectAfter(server, 300.0);
  watcher->stop();
}

TEST_F(ChangeWatcherReconnectTest, AStreamTheServerClosesIsResumedAfterThreeSeconds) {
  LoopbackServer server([](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening(": hello\n\n") + "0\r\n\r\n");
    connection.close();
  });
  auto watcher = makeWatcher(server);
  watcher->start();
  ASSERT_TRUE(waitForReconnectTimer());
  expectReconnectAfter(server, 3.0);
  EXPECT_TRUE(logs_.lines().empty());
  watcher->stop();
}

TEST_F(ChangeWatcherReconnectTest, AnUnreachableServerIsRetriedAfterThreeSeconds) {
  uint16_t freePort;
  {
    LoopbackServer gone(nullptr);
    freePort = gone.port();
  }
  auto watcher = ChangeWatcher::create(freePort, stream_, widgets_, loop_, loop_);
  watcher->start();
  ASSERT_TRUE(waitForReconnectTimer());
  loop_.advance(2.999);
  EXPECT_EQ(loop_.pendingTimers(), 1u);
  loop_.advance(0.001);
  // The second attempt fails the same way and arms the next wait.
  ASSERT_TRUE(waitForReconnectTimer());
  EXPECT_TRUE(logs_.lines().empty());
  watcher->stop();
}

TEST_F(ChangeWatcherReconnectTest, AStreamSilentPastTheIdleTimeoutIsReplaced) {
  LoopbackServer server([](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening(": hello\n\n"));
    connection.holdUntilStopped();
  });
  auto watcher = makeWatcher(server, 0.3);
  watcher->start();
  ASSERT_TRUE(waitForReconnectTimer());
  expectReconnectAfter(server, 3.0);
  watcher->stop();
}

enum class StopState { connecting, streaming, waiting };

class ChangeWatcherStopTest : public ChangeWatcherReconnectTest, public testing::WithParamInterface<StopState> {};

TEST_P(ChangeWatcherStopTest, StopClosesTheStreamAndNothingReconnects) {
  const StopState state = GetParam();
  std::atomic<int> peerClosed{0};
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    if (state != StopState::connecting) {  // connecting: the request stays unanswered
      connection.write(ChunkedEventStream::opening(": hello\n\n"));
      if (state == StopState::waiting) {
        connection.write("0\r\n\r\n");
        connection.close();
        return;
      }
    }
    if (connection.waitForPeerClose(30)) ++peerClosed;
  });
  auto watcher = makeWatcher(server);
  watcher->start();
  ASSERT_TRUE(server.waitForRequests(1));
  if (state == StopState::waiting) {
    ASSERT_TRUE(waitForReconnectTimer());
  }
  if (state == StopState::streaming) settle(loop_);

  watcher->stop();
  loop_.runUntilIdle();
  if (state != StopState::waiting) {
    EXPECT_TRUE(loop_.waitFor([&] { return peerClosed.load() == 1; }, 20));
  }
  loop_.advance(600.0);
  settle(loop_);
  EXPECT_EQ(server.acceptedConnections(), 1u);
  EXPECT_EQ(loop_.pendingTimers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(States, ChangeWatcherStopTest,
                         testing::Values(StopState::connecting, StopState::streaming, StopState::waiting));

}  // namespace
}  // namespace tovarin
