#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

const std::string kScript = std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs";

int connectTo(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A raw event-stream reader: the HTTP client reads whole responses, a stream never ends.
class StreamReader {
 public:
  explicit StreamReader(uint16_t port) : fd_(connectTo(port)) {
    std::string request = "GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\naccept: text/event-stream\r\n\r\n";
    if (fd_ >= 0) (void)!::send(fd_, request.data(), request.size(), MSG_NOSIGNAL);
  }
  ~StreamReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Reads until the received text holds needle after what earlier calls consumed.
  bool readUntil(const std::string& needle, double seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (received_.find(needle, consumed_) == std::string::npos) {
      if (fd_ < 0 || std::chrono::steady_clock::now() >= deadline) return false;
      pollfd wait{fd_, POLLIN, 0};
      if (::poll(&wait, 1, 50) <= 0) continue;
      char chunk[4096];
      ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
      if (got <= 0) return false;
      received_.append(chunk, static_cast<size_t>(got));
    }
    consumed_ = received_.find(needle, consumed_) + needle.size();
    return true;
  }
  const std::string& received() const { return received_; }

 private:
  int fd_;
  std::string received_;
  size_t consumed_ = 0;
};

class StandInServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& child : children_) {
      if (child->isRunning()) child->signal(SIGKILL);
    }
  }

  // Starts `node server.mjs --port <port>` with the given extra environment.
  std::shared_ptr<ChildProcess> launch(std::vector<std::string> environment, std::vector<std::string> arguments = {}) {
    if (arguments.empty()) arguments = {"--port", std::to_string(port_)};
    ChildProcessOptions options;
    options.executable = "/usr/bin/node";
    options.arguments = {kScript};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = std::move(environment);
    options.environment.push_back("PATH=/usr/bin:/bin");
    options.inheritStdin = false;
    auto launched = ChildProcess::launch(options);
    EXPECT_NE(launched.process, nullptr) << launched.error;
    if (launched.process) children_.push_back(launched.process);
    return launched.process;
  }

  std::shared_ptr<ChildProcess> start(std::vector<std::string> environment = {}) {
    auto child = launch(std::move(environment));
    EXPECT_TRUE(loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20));
    return child;
  }

  HttpResponse request(const std::string& method, const std::string& path, const std::string& body = "") {
    HttpRequest request;
    request.method = method;
    request.url = "http://127.0.0.1:" + std::to_string(port_) + path;
    request.body = body;
    if (!body.empty()) request.headers = {{"Content-Type", "application/json"}};
    request.timeoutSeconds = 10;
    std::optional<HttpResponse> response;
    http_.send(request, loop_, [&](HttpResponse answer) { response = std::move(answer); });
    EXPECT_TRUE(loop_.waitFor([&] { return response.has_value(); }, 15));
    return response.value_or(HttpResponse{});
  }

  Json json(const HttpResponse& response) { return parseJson(response.body).value_or(Json("<not json>")); }

  static std::string header(const HttpResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
      if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return "";
  }

  uint16_t port_ = LocalPorts::unused();
  ManualLoop loop_;
  BeastHttpClient http_;
  std::vector<std::shared_ptr<ChildProcess>> children_;
};

TEST_F(StandInServerTest, HealthAnswersWithTheLaunchersVersionAndNonce) {
  start({"VORN_APP_VERSION=0.2.0", "VORN_INSTANCE_NONCE=6F9619FF-8B86-4011-B42D-00C04FC964FF"});
  HttpResponse health = request("GET", "/api/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(json(health),
            Json::parse(R"({"protocol":3,"appVersion":"0.2.0","instanceNonce":"6F9619FF-8B86-4011-B42D-00C04FC964FF"})"));
  EXPECT_EQ(header(health, "Content-Type"), "application/json; charset=utf-8");
}

TEST_F(StandInServerTest, RequestTargetsThatAreNoUrlAreRefusedAndTheServerStaysUp) {
  start();
  for (const char* target : {"//", "//[", "//a:b@[::1"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(request("GET", target).status, 400);
  }
  EXPECT_EQ(request("GET", "/api/health").status, 200);
}

TEST_F(StandInServerTest, HealthTestModesGiveBadAnswers) {
  struct Case {
    const char* mode;
    std::function<void(const HttpResponse&)> check;
  };
  const Case cases[] = {
      {"malformed", [](const HttpResponse& r) { EXPECT_FALSE(parseJson(r.body).has_value()); }},
      {"html", [](const HttpResponse& r) {
         EXPECT_FALSE(parseJson(r.body).has_value());
         EXPECT_EQ(header(r, "Content-Type"), "text/html; charset=utf-8");
       }},
      {"protocol2", [](const HttpResponse& r) { EXPECT_EQ(jsonInteger(parseJson(r.body).value(), "protocol"), 2); }},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.mode);
    port_ = LocalPorts::unused();
    start({std::string("TOVARIN_TEST_HEALTH=") + testCase.mode, "VORN_APP_VERSION=0.2.0"});
    HttpResponse health = request("GET", "/api/health");
    EXPECT_EQ(health.status, 200);
    testCase.check(health);
  }
}

TEST_F(StandInServerTest, ServesBothPagesAsUtf8Html) {
  start();
  struct Case {
    const char* path;
    const char* title;
  };
  for (const Case& page : {Case{"/index.html", "<title>岚笺</title>"}, Case{"/", "<title>岚笺</title>"},
                           Case{"/widget.html", "<title>岚笺便签</title>"}}) {
    SCOPED_TRACE(page.path);
    HttpResponse response = request("GET", page.path);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(header(response, "Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(response.body.find(page.title), std::string::npos);
    EXPECT_NE(response.body.find(R"(<meta charset="utf-8">)"), std::string::npos);
  }
  EXPECT_EQ(request("GET", "/nope.html").status, 404);
  EXPECT_EQ(request("POST", "/api/health", "{}").status, 405);
  EXPECT_EQ(request("GET", "/__test/process").status, 404);  // introspection is off unless asked
}

TEST_F(StandInServerTest, SettingsChangeKeepsValidValuesAndAnnouncesItOnTheStream) {
  start();
  EXPECT_EQ(json(request("GET", "/api/data")),
            Json::parse(R"({"data":{"settings":{"floatingWindow":false,"stickyLevel":"floating",
                                                "stickySpaceScope":"current"}}})"));
  StreamReader stream(port_);
  ASSERT_TRUE(stream.readUntil(": hello\n\n"));
  ASSERT_TRUE(loop_.waitFor([&] { return jsonInteger(json(request("GET", "/__test/state")), "streamClients") == 1; }));

  HttpResponse changed = request("POST", "/api/data",
                                 R"({"settings":{"floatingWindow":true,"stickyLevel":"bogus","stickySpaceScope":"all",
                                                 "unknown":1}})");
  EXPECT_EQ(changed.status, 200);
  const Json expected = Json::parse(R"({"data":{"settings":{"floatingWindow":true,"stickyLevel":"floating",
                                                            "stickySpaceScope":"all"}}})");
  EXPECT_EQ(json(changed), expected);
  EXPECT_EQ(json(request("GET", "/api/data")), expected);
  ASSERT_TRUE(stream.readUntil("event: change\ndata: "));
  ASSERT_TRUE(stream.readUntil("\n\n"));

  // Bad bodies change nothing and announce nothing.
  for (const char* body : {"not json", "[1]", R"({"settings":[1]})", R"({"other":{}})"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(request("POST", "/api/data", body).status, 400);
  }
  EXPECT_EQ(request("POST", "/api/data", R"({"settings":{"stickyLevel":7}})").status, 200);  // nothing valid
  EXPECT_EQ(json(request("GET", "/api/data")), expected);
  request("POST", "/__test/change");
  ASSERT_TRUE(stream.readUntil("event: change\ndata: "));
  // Only the test event followed the first change.
  EXPECT_EQ(jsonInteger(json(request("GET", "/__test/state")), "revision"), 2);
}

TEST_F(StandInServerTest, RefusedStreamTestMode) {
  start({"TOVARIN_TEST_REFUSE_STREAM=1"});
  StreamReader stream(port_);
  EXPECT_TRUE(stream.readUntil("HTTP/1.1 503"));
}

TEST_F(StandInServerTest, PresenceIsRecorded) {
  start();
  HttpResponse report = request("POST", "/api/account/reminders/presence", R"({"surface":"mac"})");
  EXPECT_EQ(report.status, 204);
  EXPECT_EQ(report.body, "");
  EXPECT_EQ(request("POST", "/api/account/reminders/presence", "{broken").status, 400);
  Json state = json(request("GET", "/__test/state"));
  EXPECT_EQ(jsonInteger(state, "presenceCount"), 1);
  EXPECT_EQ(state["lastPresence"]["body"], Json::parse(R"({"surface":"mac"})"));
}

TEST_F(StandInServerTest, WritesItsDataOnlyOnceSomethingChangesAndReadsItBack) {
  TempDir data;
  const std::string file = data.path() + "/TheTovarin/calendar.json";
  const std::string variable = "VORN_DATA=" + file;
  auto first = start({variable});
  request("GET", "/api/data");
  request("POST", "/api/account/reminders/presence", R"({"surface":"mac"})");
  EXPECT_FALSE(fs::exists(file));
  request("POST", "/api/data", R"({"settings":{"stickyLevel":"desktop"}})");
  EXPECT_TRUE(fs::exists(file));
  first->signal(SIGTERM);
  first->wait();

  start({variable});
  EXPECT_EQ(json(request("GET", "/api/data"))["data"]["settings"]["stickyLevel"], "desktop");
}

TEST_F(StandInServerTest, SlowStartListensOnlyAfterTheDelay) {
  const auto started = std::chrono::steady_clock::now();
  launch({"TOVARIN_TEST_SLOW_START=1200"});
  ASSERT_TRUE(loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20));
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 1.2);
}

TEST_F(StandInServerTest, BadCommandLinesAndBusyPortsEndTheServer) {
  LoopbackServer holder(nullptr);
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
  };
  const Case cases[] = {
      {"port not a number", {"--port", "abc"}, 2},
      {"port zero", {"--port", "0"}, 2},
      {"port too large", {"--port", "70000"}, 2},
      {"port taken", {"--port", std::to_string(holder.port())}, 1},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    auto child = launch({}, testCase.arguments);
    ASSERT_NE(child, nullptr);
    int status = child->wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), testCase.exitCode);
  }
}

TEST_F(StandInServerTest, EveryStickyLevelIsKept) {
  start();
  for (const char* level : {"topmost", "floating", "main", "normal", "desktop"}) {
    SCOPED_TRACE(level);
    const std::string body = std::string(R"({"settings":{"stickyLevel":")") + level + R"("}})";
    EXPECT_EQ(request("POST", "/api/data", body).status, 200);
    EXPECT_EQ(json(request("GET", "/api/data"))["data"]["settings"]["stickyLevel"], level);
  }
}

TEST_F(StandInServerTest, StickySettingsTestModesGiveStaleOrLateReadsAndAreAnnounced) {
  start({"TOVARIN_TEST_SETTINGS_READ=stale", "TOVARIN_TEST_WIDGET_STORE=ignore"});
  EXPECT_EQ(json(request("GET", "/__test/sticky-settings")),
            Json::parse(R"({"store":"ignore","read":"stale","delayMs":0})"));
  auto level = [&] { return json(request("GET", "/api/data"))["data"]["settings"]["stickyLevel"]; };
  request("POST", "/api/data", R"({"settings":{"stickyLevel":"main"}})");
  EXPECT_EQ(level(), "floating") << "the value before the last write";
  request("POST", "/api/data", R"({"settings":{"stickyLevel":"normal"}})");
  EXPECT_EQ(level(), "main");

  StreamReader stream(port_);
  ASSERT_TRUE(stream.readUntil(": hello\n\n"));
  ASSERT_TRUE(loop_.waitFor([&] { return jsonInteger(json(request("GET", "/__test/state")), "streamClients") == 1; }));
  EXPECT_EQ(request("POST", "/__test/sticky-settings", R"({"read":"fresh","delayMs":700})").status, 200);
  ASSERT_TRUE(stream.readUntil(R"("what":"sticky-test-modes")"));
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(level(), "normal");
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count(), 0.7);

  for (const char* body : {R"({"store":"closed"})", R"({"read":null})", R"({"delayMs":-1})", R"({"delayMs":1.5})",
                           R"({"delayMs":"5"})", R"({"delayMs":600000})", "[]"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(request("POST", "/__test/sticky-settings", body).status, 400);
  }
  EXPECT_EQ(json(request("GET", "/__test/sticky-settings")),
            Json::parse(R"({"store":"ignore","read":"fresh","delayMs":700})"));
}

}  // namespace
}  // namespace tovarin
