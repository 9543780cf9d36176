// The change watcher and the presence reporter against the stand-in local server
// (tools/server.mjs run by node as a real child), over real sockets.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "base/BeastEventStream.h"
#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "main/changes/ChangeWatcher.h"
#include "main/presence/PresenceReporter.h"
#include "tests/support/FakePresenceProbe.h"
#include "tests/support/FakeWidgetTimelines.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

// One run of `node tools/server.mjs --port P`, ended with the object.
class StandInServer {
 public:
  explicit StandInServer(uint16_t port, std::vector<std::string> extraEnvironment = {}) : port_(port) {
    ChildProcessOptions options;
    options.executable = "/usr/bin/node";
    options.arguments = {std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs", "--port", std::to_string(port)};
    options.environment = {"PATH=/usr/bin:/bin", "VORN_APP_VERSION=0.2.0"};
    for (auto& entry : extraEnvironment) options.environment.push_back(std::move(entry));
    options.inheritStdin = false;
    auto launch = ChildProcess::launch(options);
    process_ = launch.process;
    error_ = launch.error;
  }
  ~StandInServer() { stop(); }
  void stop() {
    if (process_ && process_->signal(SIGKILL)) process_->wait();
    process_.reset();
  }
  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }

  // GET or POST on the server; nullopt when it did not answer.
  std::optional<HttpResponse> call(const std::string& method, const std::string& path, std::string body = {}) {
    HttpRequest request;
    request.method = method;
    request.url = "http://127.0.0.1:" + std::to_string(port_) + path;
    request.body = std::move(body);
    if (!request.body.empty()) request.headers = {{"content-type", "application/json"}};
    request.timeoutSeconds = 5;
    std::optional<HttpResponse> result;
    ManualLoop loop;
    http_.send(std::move(request), loop, [&](HttpResponse response) { result = std::move(response); });
    loop.waitFor([&] { return result.has_value(); }, 20);
    if (!result || !result->responded) return std::nullopt;
    return result;
  }
  Json state() {
    auto answer = call("GET", "/__test/state");
    return answer ? parseJson(answer->body).value_or(Json()) : Json();
  }
  // Polls the health answer until the server listens (node takes a moment to start).
  bool waitUntilListening() {
    ManualLoop loop;
    return loop.waitFor(
        [&] {
          auto answer = call("GET", "/api/health");
          return answer && answer->status == 200;
        },
        30);
  }
  bool waitForStreamClients(int64_t count) {
    ManualLoop loop;
    return loop.waitFor([&] { return jsonInteger(state(), "streamClients") == count; }, 20);
  }

 private:
  uint16_t port_;
  std::shared_ptr<ChildProcess> process_;
  std::string error_;
  BeastHttpClient http_;
};

// The real client, counting answers delivered, so that a test can let every request
// finish before its queue goes away.
class SettlingHttpClient final : public HttpClient {
 public:
  void send(HttpRequest request, TaskRunner& completionQueue, std::function<void(HttpResponse)> completion) override {
    ++sent_;
    real_.send(std::move(request), completionQueue, [this, completion = std::move(completion)](HttpResponse response) {
      completion(std::move(response));
      ++settled_;
    });
  }
  bool allSettled() const { return sent_.load() == settled_.load(); }

 private:
  BeastHttpClient real_;
  std::atomic<int> sent_{0};
  std::atomic<int> settled_{0};
};

TEST(StandInServerTest, AChangeOnTheServerReachesTheWidgetAndTheMainLoopOnce) {
  StandInServer server(LocalPorts::unused());
  ASSERT_TRUE(server.waitUntilListening()) << server.error();
  ManualLoop mainLoop;
  SerialQueue queue(ChangeWatcher::queueLabel);
  FakeWidgetTimelines widgets(queue);
  BeastEventStream stream;
  auto watcher = ChangeWatcher::create(server.port(), stream, widgets, queue, mainLoop);
  std::atomic<int> changes{0};
  watcher->setOnChange([&] {
    EXPECT_TRUE(mainLoop.isMainThread());
    ++changes;
  });
  watcher->start();
  ASSERT_TRUE(server.waitForStreamClients(1));
  EXPECT_EQ(changes.load(), 0);  // the server's greeting is a comment

  ASSERT_TRUE(server.call("POST", "/__test/change", "{}"));
  ASSERT_TRUE(mainLoop.waitFor([&] { return changes.load() == 1; }, 20));
  mainLoop.waitFor([] { return false; }, 0.3);
  EXPECT_EQ(changes.load(), 1);
  EXPECT_EQ(widgets.reloads().size(), 1u);

  watcher->stop();
  EXPECT_TRUE(server.waitForStreamClients(0));
  queue.sync([] {});
}

TEST(StandInServerTest, ARefusedStreamIsLoggedAndRetriedAfterFiveMinutes) {
  StandInServer server(LocalPorts::unused(), {"TOVARIN_TEST_REFUSE_STREAM=1"});
  ASSERT_TRUE(server.waitUntilListening()) << server.error();
  LogRecorder logs;
  ManualLoop loop;  // the watcher's queue too: virtual time for its timers
  FakeWidgetTimelines widgets(loop);
  BeastEventStream stream;
  auto watcher = ChangeWatcher::create(server.port(), stream, widgets, loop, loop);
  watcher->start();
  ASSERT_TRUE(loop.waitFor([&] { return loop.pendingTimers() == 1; }, 20));
  EXPECT_EQ(logs.lines(), (std::vector<std::string>{"[orvik] stream refused: HTTP 503"}));
  const auto requestsBefore = jsonInteger(server.state(), "requests").value_or(-1);
  loop.advance(299.999);
  loop.waitFor([] { return false; }, 0.3);
  // Only this test's own state query reached the server in between.
  EXPECT_EQ(jsonInteger(server.state(), "requests"), requestsBefore + 1);
  loop.advance(0.001);
  ASSERT_TRUE(loop.waitFor([&] { return logs.lines().size() == 2; }, 20));
  watcher->stop();
}

TEST(StandInServerTest, AServerThatGoesAwayIsFollowedAgainWhenItComesBack) {
  const uint16_t port = LocalPorts::unused();
  auto server = std::make_unique<StandInServer>(port);
  ASSERT_TRUE(server->waitUntilListening()) << server->error();
  ManualLoop loop;
  FakeWidgetTimelines widgets(loop);
  BeastEventStream stream;
  auto watcher = ChangeWatcher::create(port, stream, widgets, loop, loop);
  int changes = 0;
  watcher->setOnChange([&] { ++changes; });
  watcher->start();
  ASSERT_TRUE(server->waitForStreamClients(1));

  server.reset();  // killed: the stream drops
  ASSERT_TRUE(loop.waitFor([&] { return loop.pendingTimers() == 1; }, 20));
  server = std::make_unique<StandInServer>(port);
  ASSERT_TRUE(server->waitUntilListening());
  EXPECT_TRUE(server->waitForStreamClients(0));
  loop.advance(3.0);
  ASSERT_TRUE(server->waitForStreamClients(1));
  ASSERT_TRUE(server->call("POST", "/__test/change", "{}"));
  EXPECT_TRUE(loop.waitFor([&] { return changes == 1; }, 20));
  watcher->stop();
}

TEST(StandInServerTest, ThePresentUserIsReportedOnTheFirstTick) {
  StandInServer server(LocalPorts::unused());
  ASSERT_TRUE(server.waitUntilListening()) << server.error();
  SettlingHttpClient http;
  FakePresenceProbe probe;
  SerialQueue queue(PresenceReporter::queueLabel);
  auto reporter = PresenceReporter::create(PresenceBeacon(server.port(), http), probe, queue);
  reporter->start();
  ManualLoop waiter;
  ASSERT_TRUE(waiter.waitFor([&] { return jsonInteger(server.state(), "presenceCount") == 1; }, 20));
  const Json state = server.state();
  EXPECT_EQ(state["lastPresence"]["body"], (Json{{"surface", "mac"}}));
  reporter->stop();
  ASSERT_TRUE(waiter.waitFor([&] { return http.allSettled(); }, 20));
  queue.sync([] {});
  EXPECT_EQ(jsonInteger(server.state(), "presenceCount"), 1);
}

}  // namespace
}  // namespace tovarin
