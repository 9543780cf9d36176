#include "base/BeastWebSocketClient.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "base/SerialQueue.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackWebSocketServer.h"

namespace tovarin {
namespace {

// Everything the socket told its owner, in order, as text lines.
class Events {
 public:
  explicit Events(SerialQueue& queue) : queue_(queue) {}
  WebSocketHandlers handlers() {
    return {.onOpen = [this] { add("open"); },
            .onMessage = [this](WebSocketMessage message) { add((message.binary ? "binary " : "text ") + message.data); },
            .onEnd = [this](WebSocketEnd end) { add("end " + std::to_string(end.httpStatus)); }};
  }
  bool waitFor(size_t count, double seconds = 10) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return lines_.size() >= count; });
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool onlyOnQueue() {
    std::lock_guard lock(mutex_);
    return onlyOnQueue_;
  }

 private:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    onlyOnQueue_ &= queue_.isCurrent();
    lines_.push_back(std::move(line));
    changed_.notify_all();
  }
  SerialQueue& queue_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool onlyOnQueue_ = true;
};

class BeastWebSocketClientTest : public ::testing::Test {
 protected:
  SerialQueue queue_{"test.websocket"};
  BeastWebSocketClient client_;
  Events events_{queue_};
};

TEST_F(BeastWebSocketClientTest, RequestsThatCannotGoOutEndWithoutAResponse) {
  LoopbackWebSocketServer server([](LoopbackWebSocketPeer& peer) { peer.accept(); });
  const std::string port = std::to_string(server.port());
  const std::vector<WebSocketRequest> requests = {
      {.url = "http://127.0.0.1:" + port + "/", .headers = {}},
      {.url = "wss://127.0.0.1:" + port + "/", .headers = {}},
      {.url = "ws://127.0.0.1:" + port + "/a b", .headers = {}},
      {.url = "ws://127.0.0.1:" + port + "/", .headers = {{"X-Bad", "a\r\nInjected: 1"}}},
  };
  for (const auto& request : requests) {
    Events events(queue_);
    auto socket = client_.open(request, queue_, events.handlers());
    ASSERT_TRUE(events.waitFor(1)) << request.url;
    EXPECT_EQ(events.lines(), (std::vector<std::string>{"end 0"})) << request.url;
  }
}

TEST_F(BeastWebSocketClientTest, QueuedSendsGoOutInOrderWithTheRequestHeaders) {
  Gate done;
  std::vector<std::string> got;
  LoopbackRequest upgrade;
  std::optional<uint16_t> closeCode;
  LoopbackWebSocketServer server([&](LoopbackWebSocketPeer& peer) {
    upgrade = peer.request();
    ASSERT_TRUE(peer.accept());
    peer.sendBinary(std::string("\0\1", 2));
    while (auto message = peer.read()) got.push_back((message->binary ? "binary " : "text ") + message->data);
    closeCode = peer.peerCloseCode();
    done.open();
  });
  auto socket = client_.open({.url = "ws://127.0.0.1:" + std::to_string(server.port()) + "/relay?x=1",
                              .headers = {{"X-Token", "abc"}}},
                             queue_, events_.handlers());
  socket->sendText("one");
  socket->sendBinary("two");
  // Frames that arrive after the owner closes are dropped while the close completes, so
  // the server's message is taken in before closing.
  ASSERT_TRUE(events_.waitFor(2));
  socket->close(4001);
  socket->sendText("after close");  // never goes out
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(got, (std::vector<std::string>{"text one", "binary two"}));
  EXPECT_EQ(closeCode, 4001);
  EXPECT_EQ(upgrade.target, "/relay?x=1");
  EXPECT_EQ(upgrade.header("X-Token"), "abc");
  EXPECT_EQ(upgrade.header("Cache-Control"), "no-cache");
  EXPECT_FALSE(upgrade.header("Cookie"));
  ASSERT_TRUE(events_.waitFor(3));
  EXPECT_EQ(events_.lines(), (std::vector<std::string>{"open", std::string("binary \0\1", 9), "end 101"}));
  EXPECT_TRUE(events_.onlyOnQueue());
}

TEST_F(BeastWebSocketClientTest, CancellingOnTheQueueSilencesTheSocket) {
  Gate cancelled, served;
  LoopbackWebSocketServer server([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText("first");
    cancelled.wait();
    peer.sendText("second");
    peer.close(1000);
    served.open();
  });
  std::unique_ptr<WebSocketConnection> socket;
  Events events(queue_);
  auto handlers = events.handlers();
  handlers.onMessage = [&, record = handlers.onMessage](WebSocketMessage message) {
    record(std::move(message));
    socket->cancel();  // on the delivery queue: nothing may follow
    cancelled.open();
  };
  queue_.sync([&] {
    socket = client_.open({.url = "ws://127.0.0.1:" + std::to_string(server.port()) + "/", .headers = {}}, queue_,
                          handlers);
  });
  ASSERT_TRUE(events.waitFor(2));
  ASSERT_TRUE(served.wait());
  // Whatever the peer did after the cancel reached no handler; a last marker posted now
  // runs after anything the socket could still have queued.
  Gate drained;
  queue_.async([&] { drained.open(); });
  ASSERT_TRUE(drained.wait());
  EXPECT_EQ(events.lines(), (std::vector<std::string>{"open", "text first"}));
}

}  // namespace
}  // namespace tovarin
