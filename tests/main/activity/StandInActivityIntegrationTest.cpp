// The stand-in local server as the bridge's client: it learns the socket and the
// token from its environment and reads the record for pages that hold the page token.

#include <gtest/gtest.h>

#include <atomic>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "main/activity/ActivityBridgeEnvironment.h"
#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityBridgeServer.h"
#include "main/activity/ActivityPeer.h"
#include "main/activity/ActivityService.h"
#include "main/activity/MemoryKeyStore.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

const std::string kOwner(64, 'c');
const ActivityApp kEditor{"org.gnome.TextEditor", "Text Editor"};
constexpr double kStart = 1772442001.0;  // 2026-03-02 10:00:01 in Berlin

class StandInActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_shared<ActivityStore>(dir_.path() + "/Activity", std::make_shared<MemoryKeyStore>());
    ActivitySettings settings;
    settings.included = {kEditor.bundleId};
    service_ = std::make_unique<ActivityService>(
        store_, settings, [this] { return "iv-" + std::to_string(++ids_); }, [] { return true; },
        [this] { return now_.load(); }, [] { return *Calendar::gregorian("Europe/Berlin"); });
    server_ = std::make_unique<ActivityBridgeServer>(
        dir_.path() + "/bridge.sock", bridgeToken_, ActivityPeer::isChildOfCurrentProcess,
        [this](const ActivityBridgeRequest& request) {
          ++handled_;
          return service_->handle(request);
        });
    ASSERT_EQ(server_->start(), std::nullopt);

    ProcessEnvironment environment({"PATH=/usr/bin:/bin", "TOVARIN_TEST_ACTIVITY_RAW=1"});
    ActivityBridgeEnvironment::exportTo(environment, server_->socketPath(), bridgeToken_, pageToken_);
    ChildProcessOptions options;
    options.executable = "/usr/bin/node";
    options.arguments = {std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs", "--port", std::to_string(port_)};
    options.environment = environment.snapshot();
    options.inheritStdin = false;
    auto launched = ChildProcess::launch(options);
    ASSERT_NE(launched.process, nullptr) << launched.error;
    node_ = launched.process;
    ASSERT_TRUE(loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20));
  }
  void TearDown() override {
    if (node_ && node_->isRunning()) node_->signal(SIGKILL);
  }

  HttpResponse request(const std::string& method, const std::string& path, const std::string& body = "",
                       HttpHeaders headers = {}) {
    HttpRequest request;
    request.method = method;
    request.url = "http://127.0.0.1:" + std::to_string(port_) + path;
    request.body = body;
    request.headers = std::move(headers);
    if (!body.empty()) request.headers.push_back({"Content-Type", "application/json"});
    request.timeoutSeconds = 10;
    std::optional<HttpResponse> response;
    http_.send(request, loop_, [&](HttpResponse answer) { response = std::move(answer); });
    EXPECT_TRUE(loop_.waitFor([&] { return response.has_value(); }, 15));
    return response.value_or(HttpResponse{});
  }
  Json json(const HttpResponse& response) { return parseJson(response.body).value_or(Json("<not json>")); }
  HttpResponse items(HttpHeaders headers) {
    return request("GET", "/api/activity/items?from=2026-03-02&to=2026-03-02", "", std::move(headers));
  }
  Json raw(const std::string& line, const std::string& mode = "send") {
    return json(request("POST", "/__test/activity/raw", Json{{"line", line}, {"mode", mode}, {"token", true}}.dump()));
  }

  TempDir dir_;
  ManualLoop loop_;
  BeastHttpClient http_;
  uint16_t port_ = LocalPorts::unused();
  const std::string bridgeToken_ = ActivityBridgeProtocol::makeToken();
  const std::string pageToken_ = ActivityBridgeProtocol::makeToken();
  std::atomic<double> now_{kStart};
  std::atomic<int> ids_{0};
  std::atomic<int> handled_{0};
  std::shared_ptr<ActivityStore> store_;
  std::unique_ptr<ActivityService> service_;
  std::unique_ptr<ActivityBridgeServer> server_;
  std::shared_ptr<ChildProcess> node_;
};

TEST_F(StandInActivityTest, OwnerReportsAndPageQueriesGoThroughTheBridge) {
  HttpResponse reported = request("POST", "/api/activity/owner", Json{{"owner", kOwner}}.dump());
  EXPECT_EQ(reported.status, 200);
  EXPECT_EQ(json(reported), Json::parse(R"({"result":{"ok":true},"v":1})"));
  ASSERT_EQ(service_->enable(), ActivityService::EnableOutcome::enabled);
  service_->record(ActivityEvent::frontmost(kEditor, now_));
  now_ = now_ + 120;
  // The report is two virtual minutes old: the page's query renews it.

  const HttpResponse answered = items({{"Cookie", "theme=dark; tovarin_activity=" + pageToken_}});
  EXPECT_EQ(answered.status, 200);
  const Json body = json(answered);
  ASSERT_EQ(body["result"]["items"].size(), 0u) << answered.body;  // the expired report dropped the stretch
  now_ = now_ + 60;
  const Json later = json(items({{"Cookie", "tovarin_activity=" + pageToken_}}));
  ASSERT_EQ(later["result"]["items"].size(), 1u) << later.dump();
  EXPECT_EQ(later["result"]["items"][0]["durationMin"], 1);
}

TEST_F(StandInActivityTest, APageWithoutThePageTokenReadsNothing) {
  ASSERT_EQ(request("POST", "/api/activity/owner", Json{{"owner", kOwner}}.dump()).status, 200);
  const int before = handled_;
  for (const HttpHeaders& headers : std::vector<HttpHeaders>{
           {}, {{"Cookie", "tovarin_activity="}}, {{"Cookie", "tovarin_activity=" + bridgeToken_}},
           {{"Cookie", "tovarin_activity=" + pageToken_.substr(1)}},
           {{"Cookie", "other_tovarin_activity=" + pageToken_}}}) {
    EXPECT_EQ(items(headers).status, 403) << (headers.empty() ? "" : headers[0].second);
  }
  EXPECT_EQ(handled_, before);
  EXPECT_EQ(request("POST", "/api/activity/owner", Json{{"owner", "ABC"}}.dump()).status, 400);
}

TEST_F(StandInActivityTest, HostileRequestsAreAnsweredWithErrorsAndTheProgramStaysUp) {
  struct Case {
    std::string line;
    std::string mode;
    std::string error;
  };
  const std::vector<Case> cases = {
      {R"({"v":1,"token":"wrong","op":"owner","owner":null})" "\n", "send", "bad_token"},
      {R"({"v":1,"token":"$TOKEN","op":"drop","owner":null})" "\n", "send", "bad_op"},
      {R"({"v":"1","token":"$TOKEN","op":"owner","owner":null})" "\n", "send", "bad_version"},
      {"}{\n", "send", "bad_json"},
      {std::string(20000, 'x'), "send", "too_large"},
      {R"({"v":1,"token":"$TOKEN","op":"owner","owner":null})", "halfclose", ""},
  };
  for (const Case& c : cases) {
    const Json answer = raw(c.line, c.mode);
    const auto reply = parseJson(answer.value("reply", std::string()));
    ASSERT_TRUE(reply) << answer.dump();
    if (c.error.empty()) {
      EXPECT_EQ((*reply)["result"], Json::parse(R"({"ok":true})"));
    } else {
      EXPECT_EQ((*reply)["error"], c.error) << c.line.substr(0, 60);
    }
  }
  EXPECT_EQ(handled_, 1);  // only the well-formed one
  // A client that drops its connection mid-request, then an ordinary one.
  (void)raw(R"({"v":1,"token":"$TOKEN","op":"owner","owner":null})" "\n", "reset");
  EXPECT_EQ(json(request("POST", "/api/activity/owner", Json{{"owner", kOwner}}.dump()))["result"]["ok"], true);
  EXPECT_TRUE(server_->isListening());
}

}  // namespace
}  // namespace tovarin
