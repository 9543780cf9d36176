#include "base/BeastEventStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "base/SerialQueue.h"
#include "tests/support/ChunkedEventStream.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

// What the handlers saw; checks that each call comes on the loop and in order.
struct Seen {
  std::optional<int> status;
  std::vector<std::string> chunks;
  std::optional<EventStreamEnd> end;
  int ends = 0;
  bool orderBroken = false;

  std::string body() const {
    std::string all;
    for (const auto& chunk : chunks) all += chunk;
    return all;
  }
};

class BeastEventStreamTest : public testing::Test {
 protected:
  std::unique_ptr<EventStreamConnection> open(const std::string& url, double idleTimeout = 20,
                                              HttpHeaders headers = {{"accept", "text/event-stream"}}) {
    EventStreamRequest request;
    request.url = url;
    request.headers = std::move(headers);
    request.idleTimeoutSeconds = idleTimeout;
    EventStreamHandlers handlers;
    handlers.onResponse = [this](int status) {
      EXPECT_TRUE(loop_.isCurrent());
      if (seen_.status || seen_.end) seen_.orderBroken = true;
      seen_.status = status;
    };
    handlers.onChunk = [this](std::string bytes) {
      EXPECT_TRUE(loop_.isCurrent());
      if (seen_.end) seen_.orderBroken = true;
      seen_.chunks.push_back(std::move(bytes));
    };
    handlers.onEnd = [this](EventStreamEnd end) {
      EXPECT_TRUE(loop_.isCurrent());
      ++seen_.ends;
      seen_.end = std::move(end);
    };
    return stream_.open(std::move(request), loop_, std::move(handlers));
  }
  bool waitForEnd(double seconds = 20) {
    return loop_.waitFor([&] { return seen_.end.has_value(); }, seconds);
  }

  ManualLoop loop_;
  BeastEventStream stream_;
  Seen seen_;
};

TEST_F(BeastEventStreamTest, HandsOverEachChunkAsItArrivesThenTheEnd) {
  Gate firstSeen;
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::head);
    connection.write(ChunkedEventStream::chunk(": hello\n\n"));
    if (!firstSeen.wait()) return;
    connection.write(ChunkedEventStream::chunk("event: change\ndata: {}\n\n"));
    connection.write("0\r\n\r\n");
    connection.waitForPeerClose(20);
  });
  auto connection = open(server.baseUrl() + "/api/stream");
  // The first chunk must come through while the server still holds the rest back.
  ASSERT_TRUE(loop_.waitFor([&] { return seen_.body() == ": hello\n\n"; }, 20));
  EXPECT_EQ(seen_.status, 200);
  EXPECT_FALSE(seen_.end);
  firstSeen.open();
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(seen_.body(), ": hello\n\nevent: change\ndata: {}\n\n");
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::closed);
  EXPECT_FALSE(seen_.orderBroken);
  loop_.runUntilIdle();
  EXPECT_EQ(seen_.ends, 1);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/api/stream");
  EXPECT_EQ(requests[0].header("accept"), "text/event-stream");
  EXPECT_EQ(requests[0].header("cache-control"), "no-cache");
  EXPECT_EQ(requests[0].header("host"), "127.0.0.1:" + std::to_string(server.port()));
}

struct BodyCase {
  const char* name;
  std::string response;  // everything the server writes before it closes
  int status;
  std::string body;
};

void PrintTo(const BodyCase& c, std::ostream* out) { *out << c.name; }

class BeastEventStreamBodies : public BeastEventStreamTest, public testing::WithParamInterface<BodyCase> {};

TEST_P(BeastEventStreamBodies, DeliversTheStatusAndEveryBodyByteOnceThenCloses) {
  const BodyCase& c = GetParam();
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(c.response);
    connection.close();
  });
  auto connection = open(server.baseUrl() + "/api/stream");
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(seen_.status, c.status);
  EXPECT_EQ(seen_.body(), c.body);
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::closed) << seen_.end->detail;
  EXPECT_FALSE(seen_.orderBroken);
}

const std::string kBigPayload = [] {
  std::string text;
  for (int i = 0; text.size() < 200000; ++i) text += "event: change\ndata: {\"n\":" + std::to_string(i) + "}\n\n";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Answers, BeastEventStreamBodies,
    testing::Values(
        BodyCase{"ended by the connection close", "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\nevent: a\n\n",
                 200, "event: a\n\n"},
        BodyCase{"refused with a body", "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n\r\nbusy", 503, "busy"},
        BodyCase{"empty answer", "HTTP/1.1 204 No Content\r\n\r\n", 204, ""},
        BodyCase{"chunked stream cut short by the server",
                 ChunkedEventStream::opening("event: a\n\n") + "5\r\nev", 200, "event: a\n\nev"},
        BodyCase{"multi-byte text and bytes that are not UTF-8",
                 "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n" + std::string("\xE5\x8F\x98\xFF\x00\x01" "abc", 9),
                 200, std::string("\xE5\x8F\x98\xFF\x00\x01" "abc", 9)},
        BodyCase{"a long stream", ChunkedEventStream::opening(kBigPayload) + "0\r\n\r\n", 200, kBigPayload}),
    [](const testing::TestParamInfo<BodyCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(BeastEventStreamTest, NoServerEndsInFailureWithoutAResponse) {
  uint16_t freePort;
  {
    LoopbackServer probe(nullptr);
    freePort = probe.port();
  }
  auto connection = open("http://127.0.0.1:" + std::to_string(freePort) + "/api/stream");
  ASSERT_TRUE(waitForEnd());
  EXPECT_FALSE(seen_.status);
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::failed);
  EXPECT_FALSE(seen_.end->detail.empty());
}

TEST_F(BeastEventStreamTest, AResetAfterSomeEventsEndsInFailureAfterThem) {
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening("event: a\n\n"));
    connection.reset();
  });
  auto connection = open(server.baseUrl() + "/api/stream");
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(seen_.status, 200);
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::failed);
  EXPECT_FALSE(seen_.orderBroken);
}

TEST_F(BeastEventStreamTest, ASilentServerEndsAtTheIdleTimeout) {
  LoopbackServer silent(nullptr);  // accepts and never answers
  auto connection = open(silent.baseUrl() + "/api/stream", 0.3);
  ASSERT_TRUE(waitForEnd());
  EXPECT_FALSE(seen_.status);
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::idleTimeout);
}

TEST_F(BeastEventStreamTest, AStreamThatFallsSilentEndsAtTheIdleTimeout) {
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening(": hello\n\n"));
    connection.holdUntilStopped();
  });
  auto connection = open(server.baseUrl() + "/api/stream", 0.3);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(seen_.status, 200);
  EXPECT_EQ(seen_.body(), ": hello\n\n");
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::idleTimeout);
}

TEST_F(BeastEventStreamTest, TheIdleTimeoutIsNotATotalTimeout) {
  // Keep-alive comments every 50 ms for well over the 1 s idle timeout, then the end.
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::head);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    while (std::chrono::steady_clock::now() < until) {
      if (!connection.write(ChunkedEventStream::chunk(":\n\n"))) return;
      if (connection.waitForPeerClose(0.05)) return;
    }
    connection.write("0\r\n\r\n");
    connection.waitForPeerClose(20);
  });
  auto connection = open(server.baseUrl() + "/api/stream", 1.0);
  ASSERT_TRUE(waitForEnd(30));
  EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::closed) << seen_.end->detail;
  EXPECT_GT(seen_.body().size(), 3u * 20);
}

TEST_F(BeastEventStreamTest, NothingIsDeliveredAfterCancelAndTheConnectionCloses) {
  Gate cancelled;
  std::atomic<bool> peerClosed{false};
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening("event: a\n\n"));
    if (!cancelled.wait()) return;
    connection.write(ChunkedEventStream::chunk("event: b\n\n"));
    connection.write("0\r\n\r\n");
    peerClosed = connection.waitForPeerClose(20);
  });
  auto connection = open(server.baseUrl() + "/api/stream");
  ASSERT_TRUE(loop_.waitFor([&] { return !seen_.chunks.empty(); }, 20));
  connection->cancel();
  cancelled.open();
  ASSERT_TRUE(loop_.waitFor([&] { return peerClosed.load(); }, 20));
  loop_.waitFor([] { return false; }, 0.2);  // give stray deliveries a chance to show up
  EXPECT_EQ(seen_.body(), "event: a\n\n");
  EXPECT_FALSE(seen_.end);
}

TEST_F(BeastEventStreamTest, DestroyingTheConnectionCancelsIt) {
  std::atomic<bool> peerClosed{false};
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::head);
    peerClosed = connection.waitForPeerClose(20);
  });
  auto connection = open(server.baseUrl() + "/api/stream");
  ASSERT_TRUE(loop_.waitFor([&] { return seen_.status.has_value(); }, 20));
  connection.reset();
  ASSERT_TRUE(loop_.waitFor([&] { return peerClosed.load(); }, 20));
  loop_.runUntilIdle();
  EXPECT_FALSE(seen_.end);
}

TEST_F(BeastEventStreamTest, BadRequestsFailWithoutTouchingTheNetwork) {
  LoopbackServer server(LoopbackServer::answering(200, ""));
  const std::string base = server.baseUrl();
  const std::vector<std::pair<std::string, HttpHeaders>> cases = {
      {"https://127.0.0.1:1/api/stream", {}},
      {"http://", {}},
      {"http://:80/x", {}},
      {"http://127.0.0.1:99999/api/stream", {}},
      {"http://127.0.0.1:0/api/stream", {}},
      {"http://127.0.0.1:12ab/api/stream", {}},
      {"http://user@127.0.0.1/api/stream", {}},
      {base + "/api/stream\r\nX-Injected: 1", {}},
      {base + "/api stream", {}},
      {base + "/api/stream", {{"accept", "text/event-stream\r\nX-Injected: 1"}}},
      {base + "/api/stream", {{"bad name", "x"}}},
  };
  for (const auto& [url, headers] : cases) {
    SCOPED_TRACE(url);
    seen_ = {};
    auto connection = open(url, 20, headers);
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(seen_.status);
    EXPECT_EQ(seen_.end->reason, EventStreamEnd::Reason::failed);
  }
  EXPECT_EQ(server.acceptedConnections(), 0u);
}

TEST_F(BeastEventStreamTest, UrlsWithoutAPortOrWithBracketsAreUnderstood) {
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.respond(200, "", "text/event-stream");
  });
  auto connection = open("http://localhost:" + std::to_string(server.port()));
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(seen_.status, 200);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target, "/");
}

TEST(BeastEventStreamQueueTest, HandlersRunOnTheNamedSerialQueue) {
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    connection.write(ChunkedEventStream::opening("event: a\n\n") + "0\r\n\r\n");
    connection.waitForPeerClose(20);
  });
  SerialQueue queue("com.orvik.test.stream");
  std::atomic<int> offQueue{0};
  std::atomic<bool> ended{false};
  EventStreamHandlers handlers;
  handlers.onResponse = [&](int) { offQueue += queue.isCurrent() ? 0 : 1; };
  handlers.onChunk = [&](std::string) { offQueue += queue.isCurrent() ? 0 : 1; };
  handlers.onEnd = [&](EventStreamEnd) {
    offQueue += queue.isCurrent() ? 0 : 1;
    ended = true;
  };
  BeastEventStream stream;
  auto connection = stream.open({server.baseUrl() + "/api/stream", {}, 20}, queue, std::move(handlers));
  ManualLoop waiter;
  ASSERT_TRUE(waiter.waitFor([&] { return ended.load(); }, 20));
  EXPECT_EQ(offQueue.load(), 0);
  queue.sync([&] { connection.reset(); });
}

}  // namespace
}  // namespace tovarin
