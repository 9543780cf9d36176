#include "base/BeastHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "base/NetworkThread.h"
#include "base/SerialQueue.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

class BeastHttpClientTest : public ::testing::Test {
 protected:
  // Sends and runs the loop until the completion arrives; fails the test if it never does.
  HttpResponse fetch(HttpRequest request) {
    std::optional<HttpResponse> result;
    int calls = 0;
    client_.send(std::move(request), loop_, [&](HttpResponse response) {
      ++calls;
      EXPECT_TRUE(loop_.isCurrent());
      result = std::move(response);
    });
    EXPECT_TRUE(loop_.waitFor([&] { return result.has_value(); }, 20));
    EXPECT_EQ(calls, 1);
    return result.value_or(HttpResponse{});
  }

  static HttpRequest get(const std::string& url, double timeout = 10) {
    HttpRequest request;
    request.url = url;
    request.timeoutSeconds = timeout;
    return request;
  }

  static std::string headerOf(const HttpResponse& response, std::string_view name) {
    for (const auto& [key, value] : response.headers) {
      if (key.size() == name.size() && strncasecmp(key.c_str(), name.data(), name.size()) == 0) return value;
    }
    return "";
  }

  ManualLoop loop_;
  BeastHttpClient client_;
};

struct AnswerCase {
  const char* name;
  int status;
  std::string body;
  std::string contentType;
};

TEST_F(BeastHttpClientTest, DeliversStatusBodyAndHeadersOfEveryAnswer) {
  const AnswerCase cases[] = {
      {"json", 200, R"({"protocol":3})", "application/json"},
      {"unavailable", 503, "busy", "text/plain"},
      {"empty", 200, "", "application/json"},
      {"no content", 204, "", ""},
      {"html not found", 404, "<html><title>无</title></html>", "text/html; charset=utf-8"},
      {"large", 200, std::string(3 * 1024 * 1024, 'x'), "application/octet-stream"},
  };
  for (const auto& answer : cases) {
    SCOPED_TRACE(answer.name);
    LoopbackServer server(LoopbackServer::answering(answer.status, answer.body, answer.contentType));
    HttpResponse response = fetch(get(server.baseUrl() + "/api/health"));
    EXPECT_TRUE(response.responded);
    EXPECT_EQ(response.error, "");
    EXPECT_EQ(response.status, answer.status);
    EXPECT_EQ(response.body, answer.body);
    EXPECT_EQ(headerOf(response, "content-type"), answer.contentType);
  }
}

TEST_F(BeastHttpClientTest, PostSendsBodyAndHeadersAsGivenWithNoCacheAndHost) {
  LoopbackServer server(LoopbackServer::answering(204, ""));
  HttpRequest request = get(server.baseUrl() + "/api/account/reminders/presence?x=1#frag");
  request.method = "POST";
  request.headers = {{"Content-Type", "application/json"}, {"X-Trace", "甲乙"}};
  request.body = R"({"surface":"mac"})";
  HttpResponse response = fetch(request);
  EXPECT_TRUE(response.responded);
  EXPECT_EQ(response.status, 204);

  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].target, "/api/account/reminders/presence?x=1");
  EXPECT_EQ(seen[0].body, R"({"surface":"mac"})");
  EXPECT_EQ(seen[0].header("Content-Type"), "application/json");
  EXPECT_EQ(seen[0].header("Content-Length"), "17");
  EXPECT_EQ(seen[0].header("X-Trace"), "甲乙");
  EXPECT_EQ(seen[0].header("Cache-Control"), "no-cache");
  EXPECT_EQ(seen[0].header("Host"), "127.0.0.1:" + std::to_string(server.port()));
}

TEST_F(BeastHttpClientTest, GetHasNoBodyAndAlwaysAsksPastCaches) {
  LoopbackServer server(LoopbackServer::answering(200, "{}"));
  HttpRequest request = get(server.baseUrl());
  request.headers = {{"Accept", "application/json"}};
  EXPECT_TRUE(fetch(request).responded);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].target, "/");
  EXPECT_EQ(seen[0].body, "");
  EXPECT_EQ(seen[0].header("Cache-Control"), "no-cache");
  EXPECT_EQ(seen[0].header("Accept"), "application/json");
}

// A port that had a listener a moment ago and has none now.
uint16_t closedPort() {
  LoopbackServer server(nullptr);
  return server.port();
}

TEST_F(BeastHttpClientTest, TransportFailuresDeliverNoResponse) {
  struct Case {
    const char* name;
    LoopbackServer::Handler handler;
  };
  const Case cases[] = {
      {"reset after the request", [](LoopbackConnection& c) { if (c.readRequest()) c.reset(); }},
      {"closed without answering", [](LoopbackConnection& c) { if (c.readRequest()) c.close(); }},
      {"not HTTP", [](LoopbackConnection& c) { if (c.readRequest()) c.write("hello there\r\n\r\n"); }},
      {"bad status line", [](LoopbackConnection& c) { if (c.readRequest()) c.write("HTTP/1.1 abc OK\r\n\r\n"); }},
      {"body cut short",
       [](LoopbackConnection& c) {
         if (c.readRequest()) c.write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
       }},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    LoopbackServer server(testCase.handler);
    HttpResponse response = fetch(get(server.baseUrl() + "/api/health"));
    EXPECT_FALSE(response.responded);
    EXPECT_EQ(response.status, 0);
    EXPECT_EQ(response.body, "");
    EXPECT_NE(response.error, "");
  }
}

TEST_F(BeastHttpClientTest, RefusedConnectionDeliversNoResponse) {
  HttpResponse response = fetch(get("http://127.0.0.1:" + std::to_string(closedPort()) + "/api/health"));
  EXPECT_FALSE(response.responded);
  EXPECT_NE(response.error.find("connect"), std::string::npos) << response.error;
}

TEST_F(BeastHttpClientTest, SilentServerEndsWithTimeoutAfterTheBudget) {
  LoopbackServer server(nullptr);  // accepts, never answers
  const auto started = std::chrono::steady_clock::now();
  HttpResponse response = fetch(get(server.baseUrl() + "/api/health", 0.4));
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_FALSE(response.responded);
  EXPECT_EQ(response.error, "timed out");
  EXPECT_GE(elapsed, 0.35);
  EXPECT_LT(elapsed, 5.0);
}

TEST_F(BeastHttpClientTest, SlowBodyCountsAgainstTheSameBudget) {
  // Headers arrive at once, the body trickles; the budget covers the whole exchange.
  LoopbackServer server([](LoopbackConnection& c) {
    if (!c.readRequest()) return;
    c.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    for (int i = 0; i < 100 && c.write("x"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  });
  HttpResponse response = fetch(get(server.baseUrl(), 0.5));
  EXPECT_FALSE(response.responded);
  EXPECT_EQ(response.error, "timed out");
}

TEST_F(BeastHttpClientTest, RefusesWhatItDoesNotSpeak) {
  const char* urls[] = {"https://127.0.0.1:1/x", "ftp://127.0.0.1/x", "http://", "http://user@127.0.0.1:80/",
                        "http://127.0.0.1:99999/", "http://127.0.0.1:8a/", "http://[::1/"};
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    HttpResponse response = fetch(get(url));
    EXPECT_FALSE(response.responded);
    EXPECT_NE(response.error, "");
  }
  HttpRequest put = get("http://127.0.0.1:1/");
  put.method = "PUT";
  EXPECT_NE(fetch(put).error.find("unsupported method"), std::string::npos);
}

TEST_F(BeastHttpClientTest, NothingFromAUrlOrAHeaderReachesTheRequestHeadUnchecked) {
  LoopbackServer server(LoopbackServer::answering(200, ""));
  const std::string base = server.baseUrl();
  struct Case {
    std::string url;
    HttpHeaders headers;
  } cases[] = {
      {base + "/x\r\nX-Injected: 1", {}},
      {base + "/a b", {}},
      {base + "/x", {{"content-type", "text/plain\r\nX-Injected: 1"}}},
      {base + "/x", {{"bad name", "1"}}},
      {base + "/x", {{"", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    HttpRequest request = get(c.url);
    request.headers = c.headers;
    HttpResponse response = fetch(std::move(request));
    EXPECT_FALSE(response.responded);
    EXPECT_NE(response.error, "");
  }
  EXPECT_EQ(server.acceptedConnections(), 0u);
}

TEST_F(BeastHttpClientTest, OnceTheNetworkIsStoppedNoCompletionReachesItsQueue) {
  // Stopping ends the process's network thread for good: only in a child process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atomic<bool> asked{false};
        LoopbackServer server([&](LoopbackConnection& connection) {
          if (!connection.readRequest()) return;
          asked = true;
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          connection.respond(200, "late");
        });
        SerialQueue queue("com.orvik.test.stopped");
        std::atomic<int> completions{0};
        client_.send(get(server.baseUrl() + "/slow"), queue, [&](HttpResponse) { ++completions; });
        while (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        NetworkThread::shared().stop();
        // The answer comes while the queue still lives; it must not reach it.
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        queue.sync([] {});
        std::exit(completions == 0 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(BeastHttpClientTest, CompletionsRunOnTheCallersSerialQueueOncePerRequest) {
  LoopbackServer server(LoopbackServer::answering(200, "ok", "text/plain"));
  SerialQueue queue("com.orvik.test.http");
  const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
  constexpr int kRequests = 24;
  std::atomic<int> completions{0};
  std::atomic<int> offQueue{0};
  std::atomic<int> answered{0};
  for (int i = 0; i < kRequests; ++i) {
    client_.send(get(i % 2 ? refused : server.baseUrl() + "/n" + std::to_string(i)), queue, [&](HttpResponse response) {
      if (!queue.isCurrent()) ++offQueue;
      if (response.responded) ++answered;
      ++completions;
    });
  }
  ASSERT_TRUE(loop_.waitFor([&] { return completions.load() >= kRequests; }, 20));
  // Give stray duplicate deliveries a chance to show up before counting again.
  queue.sync([] {});
  EXPECT_EQ(completions.load(), kRequests);
  EXPECT_EQ(answered.load(), kRequests / 2);
  EXPECT_EQ(offQueue.load(), 0);
}

}  // namespace
}  // namespace tovarin
