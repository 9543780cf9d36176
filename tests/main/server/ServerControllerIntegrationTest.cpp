#include "main/server/ServerController.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/BeastHttpClient.h"
#include "base/Json.h"
#include "tests/support/InstalledBundle.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/ProcessTable.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

constexpr const char* kNode = "/usr/bin/node";
constexpr const char* kVersion = "9.8.7";

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A bundle laid out as installed: <root>/share/the-tovarin with Info.json and the
// stand-in server (or another script in its place), a data home, an empty home.
class ServerControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resources_ = InstalledBundle::layOut(root_.path(), kVersion);
    port_ = LocalPorts::unused();
    environment_ = std::make_shared<ProcessEnvironment>(std::vector<std::string>{
        "PATH=/usr/bin:/bin", "HOME=" + root_.path() + "/home", "TOVARIN_TEST_INTROSPECT=1"});
  }

  void TearDown() override {
    if (controller_) controller_->stop();
  }

  void replaceServerScript(const std::string& text) {
    std::ofstream(resources_ / "tools" / "server.mjs", std::ios::trunc) << text;
  }

  std::shared_ptr<ProcessEnvironment> serverOnly_ = std::make_shared<ProcessEnvironment>(std::vector<std::string>{});

  std::shared_ptr<ServerController> makeController(std::map<std::string, std::string> systemProxies = {}) {
    AppConfig config = AppConfig::load(Bundle(resources_.string()), root_.path());
    config.port = port_;
    config.dataHome = root_.path() + "/data";
    ServerController::Options options;
    options.fixedNodePaths = {kNode};
    options.homeDirectory = root_.path() + "/home";
    options.environment = environment_;
    options.systemProxies = [systemProxies] { return systemProxies; };
    options.serverOnlyEnvironment = serverOnly_;
    controller_ = ServerController::create(config, http_, loop_, options);
    return controller_;
  }

  ServerStatus probeOnce(ServerController& controller) {
    std::atomic<bool> done{false};
    ServerStatus status = ServerStatus::incompatible;
    controller.probe([&](ServerStatus result) {
      status = result;
      done = true;
    });
    EXPECT_TRUE(loop_.waitFor([&] { return done.load(); }, 10));
    return status;
  }

  // Runs the main loop, moving virtual time on in re-probe steps, until done().
  void pumpUntil(const std::function<bool()>& done, int maxSteps = 200) {
    for (int step = 0; step < maxSteps && !done(); ++step) {
      loop_.waitFor([&] { return done() || loop_.pendingTimers() > 0; }, 10);
      if (done()) return;
      loop_.advance(ServerController::kReprobeSeconds);
    }
  }

  bool waitReady(double timeout = 12) {
    std::optional<bool> ready;
    controller_->waitUntilReady(timeout, [&](bool result) { ready = result; });
    pumpUntil([&] { return ready.has_value(); });
    return ready.value_or(false);
  }

  // A real child needs real time to start listening, which virtual time cannot give
  // it: wait for the port first, then let the readiness wait find it.
  bool waitChildReady() {
    if (!loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20)) return false;
    return waitReady();
  }

  Json fetchJson(const std::string& path) {
    std::optional<HttpResponse> response;
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(port_) + path;
    http_->send(request, loop_, [&](HttpResponse answer) { response = std::move(answer); });
    EXPECT_TRUE(loop_.waitFor([&] { return response.has_value(); }, 10));
    if (!response || response->status != 200) return Json();
    return parseJson(response->body).value_or(Json());
  }

  std::shared_ptr<ChildProcess> launchNode(std::vector<std::string> arguments) {
    ChildProcessOptions options;
    options.executable = kNode;
    options.arguments = std::move(arguments);
    options.environment = {"PATH=/usr/bin:/bin"};
    auto launched = ChildProcess::launch(options);
    EXPECT_NE(launched.process, nullptr) << launched.error;
    return launched.process;
  }

  TempDir root_;
  fs::path resources_;
  uint16_t port_ = 0;
  std::shared_ptr<ProcessEnvironment> environment_;
  ManualLoop loop_;
  std::shared_ptr<HttpClient> http_ = std::make_shared<BeastHttpClient>();
  std::shared_ptr<ServerController> controller_;
};

// ---- The health probe

TEST_F(ServerControllerTest, ProbeClassifiesEveryKindOfAnswer) {
  struct Case {
    const char* name;
    int status;
    std::string body;  // "$NONCE" stands for the controller's nonce, "$VERSION" for the app's
    ServerStatus expected;
  };
  const Case cases[] = {
      {"ours", 200, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"$NONCE"})", ServerStatus::ours},
      {"ours with extra keys", 200, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"$NONCE","x":[1]})",
       ServerStatus::ours},
      {"other nonce", 200, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"A-B"})", ServerStatus::compatible},
      {"numeric nonce", 200, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":7})", ServerStatus::compatible},
      {"no nonce", 200, R"({"protocol":3,"appVersion":"$VERSION"})", ServerStatus::compatible},
      {"lower-case nonce", 200, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"$nonce"})",
       ServerStatus::compatible},
      {"status 503", 503, R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"$NONCE"})",
       ServerStatus::incompatible},
      {"protocol 2", 200, R"({"protocol":2,"appVersion":"$VERSION","instanceNonce":"$NONCE"})",
       ServerStatus::incompatible},
      {"protocol as a string", 200, R"({"protocol":"3","appVersion":"$VERSION","instanceNonce":"$NONCE"})",
       ServerStatus::incompatible},
      {"protocol true", 200, R"({"protocol":true,"appVersion":"$VERSION"})", ServerStatus::incompatible},
      {"no protocol", 200, R"({"appVersion":"$VERSION","instanceNonce":"$NONCE"})", ServerStatus::incompatible},
      {"other version", 200, R"({"protocol":3,"appVersion":"0.2.0","instanceNonce":"$NONCE"})",
       ServerStatus::incompatible},
      {"numeric version", 200, R"({"protocol":3,"appVersion":9.8,"instanceNonce":"$NONCE"})",
       ServerStatus::incompatible},
      {"empty body", 200, "", ServerStatus::incompatible},
      {"HTML", 200, "<!doctype html><title>别的程序</title>", ServerStatus::incompatible},
      {"JSON array", 200, R"([{"protocol":3}])", ServerStatus::incompatible},
      {"truncated JSON", 200, R"({"protocol":3,"appVersion")", ServerStatus::incompatible},
      {"nested far too deep", 200,
       R"({"protocol":3,"appVersion":"$VERSION","instanceNonce":"$NONCE","x":)" + std::string(100000, '[') +
           std::string(100000, ']') + "}",
       ServerStatus::incompatible},
  };
  auto controller = makeController();
  std::string nonce = controller->instanceNonce();
  std::string lowerNonce = nonce;
  for (char& c : lowerNonce) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    std::string body = testCase.body;
    for (auto [mark, value] : {std::pair<std::string, std::string>{"$NONCE", nonce}, {"$nonce", lowerNonce},
                               {"$VERSION", kVersion}}) {
      for (size_t at; (at = body.find(mark)) != std::string::npos;) body.replace(at, mark.size(), value);
    }
    LoopbackServer server(LoopbackServer::answering(testCase.status, body), port_);
    EXPECT_EQ(probeOnce(*controller), testCase.expected);
    auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/api/health");
  }
}

TEST_F(ServerControllerTest, ProbeFindsNothingWhenNothingAnswers) {
  struct Case {
    const char* name;
    std::optional<LoopbackServer::Handler> handler;  // nullopt: nothing listening
    bool waitsForTheTimeout;
  };
  const Case cases[] = {
      {"nothing listening", std::nullopt, false},
      {"never answers", LoopbackServer::Handler(nullptr), true},
      {"resets", LoopbackServer::Handler([](LoopbackConnection& c) { if (c.readRequest()) c.reset(); }), false},
      {"closes", LoopbackServer::Handler([](LoopbackConnection& c) { if (c.readRequest()) c.close(); }), false},
  };
  auto controller = makeController();
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    std::optional<LoopbackServer> server;
    if (testCase.handler) server.emplace(*testCase.handler, port_);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(probeOnce(*controller), ServerStatus::down);
    // A silent server is given the whole 2.5 s probe budget, and not much more.
    if (testCase.waitsForTheTimeout) {
      EXPECT_GE(secondsSince(started), 2.4);
    }
    EXPECT_LT(secondsSince(started), 5.0);
  }
}

TEST_F(ServerControllerTest, CheckHealthIsUsableForOursAndCompatibleAndNeverCompletesOnTheMainThread) {
  auto controller = makeController();
  struct Case {
    std::string body;
    bool usable;
  };
  const Case cases[] = {
      {R"({"protocol":3,"appVersion":"9.8.7","instanceNonce":")" + controller->instanceNonce() + R"("})", true},
      {R"({"protocol":3,"appVersion":"9.8.7"})", true},
      {R"({"protocol":3,"appVersion":"1.0.0"})", false},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.body);
    LoopbackServer server(LoopbackServer::answering(200, testCase.body), port_);
    std::atomic<int> calls{0};
    std::atomic<bool> usable{!testCase.usable};
    std::atomic<bool> onMain{true};
    controller->checkHealth([&](bool result) {
      onMain = loop_.isCurrent();
      usable = result;
      ++calls;
    });
    ASSERT_TRUE(loop_.waitFor([&] { return calls.load() == 1; }, 10));
    EXPECT_EQ(usable.load(), testCase.usable);
    EXPECT_FALSE(onMain.load());
  }
}

// ---- Readiness

TEST_F(ServerControllerTest, DeadPortEndsFalseAtTheFirstProbePastTheDeadline) {
  auto controller = makeController();
  std::optional<bool> ready;
  bool onMain = false;
  const double started = loop_.now();
  double finishedAt = 0;
  controller->waitUntilReady(0.4, [&](bool result) {
    onMain = loop_.isCurrent();
    finishedAt = loop_.now();
    ready = result;
  });
  EXPECT_TRUE(controller->isWaitingForReadiness());
  EXPECT_EQ(controller->lastWaitSeconds(), 0);
  // The first probe fails before the deadline: the wait goes on with a re-probe.
  ASSERT_TRUE(loop_.waitFor([&] { return loop_.pendingTimers() == 1; }, 10));
  EXPECT_FALSE(ready.has_value());
  pumpUntil([&] { return ready.has_value(); });
  ASSERT_TRUE(ready.has_value());
  EXPECT_FALSE(*ready);
  EXPECT_TRUE(onMain);
  EXPECT_GT(finishedAt - started, 0.4);
  EXPECT_LT(finishedAt - started, 1.3);
  EXPECT_FALSE(controller->isWaitingForReadiness());
  EXPECT_EQ(loop_.pendingTimers(), 0u);
}

TEST_F(ServerControllerTest, OverlappingWaitsShareOneProbingLoopAndFinishInOrder) {
  auto controller = makeController();
  std::vector<std::pair<char, bool>> finished;
  bool allOnMain = true;
  controller->waitUntilReady(12, [&](bool ready) {
    allOnMain = allOnMain && loop_.isCurrent();
    finished.emplace_back('a', ready);
  });
  pumpUntil([] { return false; }, 3);  // about a second of failed probes
  controller->waitUntilReady(30, [&](bool ready) {
    allOnMain = allOnMain && loop_.isCurrent();
    finished.emplace_back('b', ready);
  });
  EXPECT_EQ(controller->lastWaitSeconds(), 12);  // the second caller joined; its timeout is ignored
  const std::string ours = R"({"protocol":3,"appVersion":"9.8.7","instanceNonce":")" + controller->instanceNonce() + R"("})";
  LoopbackServer server(LoopbackServer::answering(200, ours), port_);
  pumpUntil([&] { return finished.size() == 2; });
  EXPECT_EQ(finished, (std::vector<std::pair<char, bool>>{{'a', true}, {'b', true}}));
  EXPECT_TRUE(allOnMain);
  // One loop: a single probe reached the server and ended the wait for both.
  EXPECT_EQ(server.requests().size(), 1u);
  loop_.advance(2.0);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(ServerControllerTest, JoiningWaitEndsAtTheFirstCallersDeadline) {
  auto controller = makeController();
  std::vector<bool> results;
  const double started = loop_.now();
  controller->waitUntilReady(1, [&](bool ready) { results.push_back(ready); });
  controller->waitUntilReady(30, [&](bool ready) { results.push_back(ready); });
  pumpUntil([&] { return results.size() == 2; });
  EXPECT_EQ(results, (std::vector<bool>{false, false}));
  EXPECT_LT(loop_.now() - started, 2.5);
  EXPECT_EQ(controller->lastWaitSeconds(), 1);
}

// ---- The real child

TEST_F(ServerControllerTest, StartsTheStandInWithItsCommandLineDirectoryAndEnvironment) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> inherited;
    std::map<std::string, std::string> expected;   // values the child must see
    std::vector<std::string> absent;              // variables the child must not have
  };
  const std::map<std::string, std::string> systemProxies = {{"HTTP_PROXY", "http://10.0.0.2:8080"},
                                                             {"HTTPS_PROXY", "http://[fe80::1]:3128"}};
  const Case cases[] = {
      {"inherited NO_PROXY and HTTPS_PROXY",
       {{"NO_PROXY", "corp.lan"}, {"HTTPS_PROXY", "http://inherited:1"}},
       {{"NO_PROXY", "corp.lan,localhost,127.0.0.1,::1"}, {"HTTPS_PROXY", "http://inherited:1"},
        {"HTTP_PROXY", "http://10.0.0.2:8080"}, {"VORN_ORVIK_DEFAULT_URL", "https://account.orvik.cn"}},
       {}},
      {"empty inherited values",
       {{"NO_PROXY", ""}, {"HTTPS_PROXY", ""}, {"VORN_ORVIK_DEFAULT_URL", "https://staging.orvik.cn"}},
       {{"NO_PROXY", "localhost,127.0.0.1,::1"}, {"HTTPS_PROXY", "http://[fe80::1]:3128"},
        {"VORN_ORVIK_DEFAULT_URL", "https://staging.orvik.cn"}},
       {"GOOGLE_OAUTH_CLIENT_FILE"}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    for (const auto& [name, value] : testCase.inherited) ASSERT_TRUE(environment_->set(name, value));
    LogRecorder logs;
    auto controller = makeController(systemProxies);
    ASSERT_TRUE(controller->start());
    EXPECT_TRUE(controller->childIsRunning());
    ASSERT_TRUE(waitChildReady());
    EXPECT_EQ(probeOnce(*controller), ServerStatus::ours);
    const std::string dataDirectory = root_.path() + "/data/TheTovarin";
    EXPECT_TRUE(fs::is_directory(dataDirectory));
    EXPECT_EQ(logs.matching("[orvik] server started"),
              std::vector<std::string>{"[orvik] server started (data=" + dataDirectory + ")"});

    Json seen = fetchJson("/__test/process");
    ASSERT_TRUE(seen.is_object());
    EXPECT_EQ(seen["pid"], controller->childPid());
    EXPECT_EQ(seen["argv"], Json::array({kNode, (resources_ / "tools" / "server.mjs").string(), "--port",
                                         std::to_string(port_)}));
    EXPECT_EQ(seen["cwd"], resources_.string());
    Json env = seen["env"];
    std::map<std::string, std::string> expected = testCase.expected;
    expected["NODE_USE_ENV_PROXY"] = "1";
    expected["NODE_USE_SYSTEM_CA"] = "1";
    expected["VORN_DATA"] = dataDirectory + "/calendar.json";
    expected["VORN_CONFIG"] = dataDirectory + "/config.json";
    expected["VORN_INSTANCE_NONCE"] = controller->instanceNonce();
    expected["VORN_APP_VERSION"] = kVersion;
    expected["PATH"] = "/usr/bin:/bin";  // the inherited environment is passed on
    for (const auto& [name, value] : expected) EXPECT_EQ(env.value(name, "<missing>"), value) << name;
    for (const auto& name : testCase.absent) EXPECT_FALSE(env.contains(name)) << name;

    const auto stopping = std::chrono::steady_clock::now();
    const pid_t pid = controller->childPid();
    controller->stop();
    EXPECT_LT(secondsSince(stopping), 1.0);  // the stand-in ends on SIGTERM
    EXPECT_FALSE(controller->childIsRunning());
    EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(pid); }, 10));
    for (const auto& [name, value] : testCase.inherited) environment_->unset(name);
  }
}

TEST_F(ServerControllerTest, OAuthClientFileOfTheBundleIsHandedOn) {
  std::ofstream(resources_ / "GoogleOAuthClient.json") << "{}";
  auto controller = makeController();
  ASSERT_TRUE(controller->start());
  ASSERT_TRUE(waitChildReady());
  EXPECT_EQ(fetchJson("/__test/process")["env"].value("GOOGLE_OAUTH_CLIENT_FILE", ""),
            (resources_ / "GoogleOAuthClient.json").string());
}

TEST_F(ServerControllerTest, ServerOnlyValuesReachTheServerChildAsTheyStandAtItsStart) {
  serverOnly_->set("TOVARIN_ACTIVITY_TOKEN", "first");
  serverOnly_->set("PATH", "/server/only");
  auto controller = makeController();
  serverOnly_->set("TOVARIN_ACTIVITY_TOKEN", "second");  // changed after the controller was made
  ASSERT_TRUE(controller->start());
  ASSERT_TRUE(waitChildReady());
  Json env = fetchJson("/__test/process")["env"];
  EXPECT_EQ(env.value("TOVARIN_ACTIVITY_TOKEN", ""), "second");
  EXPECT_EQ(env.value("PATH", ""), "/server/only");
  // They stay out of the environment every other child is given.
  EXPECT_EQ(environment_->get("TOVARIN_ACTIVITY_TOKEN"), std::nullopt);
}

TEST_F(ServerControllerTest, SecondStartIsRefusedWhileTheChildIsHeldAndAllowedAfterItExits) {
  auto controller = makeController();
  ASSERT_TRUE(controller->start());
  const pid_t first = controller->childPid();
  EXPECT_FALSE(controller->start());
  EXPECT_EQ(controller->childPid(), first);
  ASSERT_TRUE(waitChildReady());

  // The child dies on its own: the exit handler lets go of it, nothing restarts it.
  ASSERT_EQ(::kill(first, SIGKILL), 0);
  ASSERT_TRUE(loop_.waitFor([&] { return controller->childPid() == -1; }, 10));
  EXPECT_FALSE(controller->childIsRunning());
  ASSERT_TRUE(controller->start());
  EXPECT_NE(controller->childPid(), first);
  EXPECT_TRUE(waitChildReady());
}

// Our own child listening yet unusable, hung or answering wrongly: a retry the user
// asked for replaces it, since waiting again would never end.
TEST_F(ServerControllerTest, RestartReplacesOurOwnChildThatHangsOrAnswersWrongly) {
  struct Case {
    const char* name;
    const char* healthMode;  // TOVARIN_TEST_HEALTH of the first child, or null
    bool stopIt;             // SIGSTOP the first child
  };
  const Case cases[] = {{"malformed answer", "malformed", false}, {"stopped", nullptr, true}};
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    std::vector<std::string> values = {"PATH=/usr/bin:/bin", "HOME=" + root_.path() + "/home",
                                       "TOVARIN_TEST_INTROSPECT=1"};
    if (testCase.healthMode) values.push_back(std::string("TOVARIN_TEST_HEALTH=") + testCase.healthMode);
    environment_ = std::make_shared<ProcessEnvironment>(values);
    auto controller = makeController();
    ASSERT_TRUE(controller->start());
    const pid_t first = controller->childPid();
    ASSERT_TRUE(loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20));
    if (testCase.stopIt) {
      ASSERT_EQ(::kill(first, SIGSTOP), 0);
    }
    EXPECT_FALSE(isUsable(probeOnce(*controller)));
    EXPECT_FALSE(controller->start()) << "a held child is never launched twice";

    // The next child answers as it should.
    environment_->unset("TOVARIN_TEST_HEALTH");
    ASSERT_TRUE(controller->restart());
    const pid_t second = controller->childPid();
    EXPECT_NE(second, first);
    EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(first); }, 10));
    EXPECT_TRUE(waitChildReady());
    EXPECT_EQ(probeOnce(*controller), ServerStatus::ours);
    controller->stop();
    EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(second); }, 10));
    controller_.reset();
  }
}

// A health answer already on its way when termination stopped the server must not
// start a child that nobody would stop.
TEST_F(ServerControllerTest, NoStartOrRestartAfterStop) {
  auto controller = makeController();
  controller->stop();
  EXPECT_FALSE(controller->start());
  EXPECT_FALSE(controller->restart());
  EXPECT_EQ(controller->childPid(), -1);
  EXPECT_FALSE(LocalPorts::accepts(port_));
}

TEST_F(ServerControllerTest, LaunchFailureIsLoggedAndNothingIsHeld) {
  // Without the script in the bundle, the server runs from projectRoot, which is gone.
  fs::remove(resources_ / "tools" / "server.mjs");
  AppConfig config = AppConfig::load(Bundle(resources_.string()), root_.path() + "/missing");
  config.port = port_;
  config.dataHome = root_.path() + "/data";
  ServerController::Options options;
  options.fixedNodePaths = {kNode};
  options.environment = environment_;
  options.systemProxies = [] { return std::map<std::string, std::string>{}; };
  LogRecorder logs;
  auto controller = ServerController::create(config, http_, loop_, options);
  EXPECT_FALSE(controller->start());
  EXPECT_EQ(controller->childPid(), -1);
  auto failures = logs.matching("[orvik] server start failed: ");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_GT(failures[0].size(), std::string("[orvik] server start failed: ").size());
}

TEST_F(ServerControllerTest, StopKillsAChildThatIgnoresTerminateAboutOneAndAHalfSecondsLater) {
  replaceServerScript(R"(
import http from 'node:http';
process.on('SIGTERM', () => {});
const port = Number(process.argv[process.argv.indexOf('--port') + 1]);
http.createServer((request, response) => {
  response.setHeader('Content-Type', 'application/json');
  response.end(JSON.stringify({ protocol: 3, appVersion: process.env.VORN_APP_VERSION,
                                instanceNonce: process.env.VORN_INSTANCE_NONCE }));
}).listen(port, '127.0.0.1');
)");
  auto controller = makeController();
  ASSERT_TRUE(controller->start());
  ASSERT_TRUE(waitChildReady());  // answering means the SIGTERM handler is in place
  const pid_t pid = controller->childPid();
  const auto started = std::chrono::steady_clock::now();
  controller->stop();
  const double took = secondsSince(started);
  EXPECT_GE(took, 1.4);
  EXPECT_LT(took, 3.0);
  EXPECT_FALSE(controller->childIsRunning());
  EXPECT_TRUE(loop_.waitFor([&] { return !ProcessTable::contains(pid); }, 10));
  controller->stop();  // nothing left to stop
}

// ---- Port reclaim

TEST_F(ServerControllerTest, StaleServerOfOursIsTerminatedAndThePortTakenBack) {
  const fs::path staleScript = fs::path(root_.path()) / "x" / "tools" / "server.mjs";
  fs::create_directories(staleScript.parent_path());
  fs::copy_file(resources_ / "tools" / "server.mjs", staleScript);
  auto stale = launchNode({staleScript.string(), "--port", std::to_string(port_)});
  ASSERT_NE(stale, nullptr);
  auto controller = makeController();
  ASSERT_TRUE(loop_.waitFor([&] { return controller->listeningPIDs() == std::vector<int32_t>{stale->pid()}; }, 10));
  EXPECT_EQ(controller->ourStalePIDs(), std::vector<int32_t>{stale->pid()});

  LogRecorder logs;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(controller->start());
  EXPECT_LT(secondsSince(started), 4.0);
  EXPECT_EQ(logs.matching("[orvik] reclaiming"),
            std::vector<std::string>{"[orvik] reclaiming port " + std::to_string(port_) + " from stale server [" +
                                     std::to_string(stale->pid()) + "]"});
  int status = stale->wait();
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(waitChildReady());
  EXPECT_EQ(probeOnce(*controller), ServerStatus::ours);
  EXPECT_EQ(controller->listeningPIDs(), std::vector<int32_t>{controller->childPid()});
}

TEST_F(ServerControllerTest, ForeignListenerIsNeverSignalledAndStartStillLaunches) {
  const std::string marker = root_.path() + "/signalled";
  auto foreign = launchNode({"-e", "process.on('SIGTERM', () => require('fs').writeFileSync('" + marker + "', 'TERM'));"
                                   "require('http').createServer((q, r) => { r.statusCode = 404; r.end('no'); })"
                                   ".listen(" + std::to_string(port_) + ", '127.0.0.1');"});
  ASSERT_NE(foreign, nullptr);
  auto controller = makeController();
  ASSERT_TRUE(loop_.waitFor([&] { return !controller->listeningPIDs().empty(); }, 10));
  EXPECT_TRUE(controller->ourStalePIDs().empty());

  LogRecorder logs;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(controller->start());
  EXPECT_LT(secondsSince(started), 2.9);  // nothing of ours to reclaim: not the 3 s reclaim wait
  EXPECT_TRUE(logs.matching("[orvik] reclaiming").empty());

  std::optional<ServerStartupFacts> facts;
  // Our child cannot bind and exits; the facts then show the foreign listener alone.
  ASSERT_TRUE(loop_.waitFor([&] { return !controller->childIsRunning(); }, 10));
  controller->startupFacts([&](ServerStartupFacts gathered) { facts = gathered; });
  ASSERT_TRUE(loop_.waitFor([&] { return facts.has_value(); }, 10));
  EXPECT_EQ(facts->listeners, std::vector<int32_t>{foreign->pid()});
  EXPECT_TRUE(facts->ourStaleListeners.empty());
  EXPECT_FALSE(facts->childAlive);
  EXPECT_EQ(facts->port, port_);
  EXPECT_TRUE(facts->autoStartEnabled);
  EXPECT_TRUE(facts->nodeFound);
  EXPECT_EQ(facts->probe, ServerStatus::incompatible);
  EXPECT_EQ(facts->waitedSeconds, 12);

  EXPECT_TRUE(foreign->isRunning());
  EXPECT_FALSE(fs::exists(marker));
  foreign->signal(SIGKILL);
}

TEST_F(ServerControllerTest, StartupFactsNameTheStaleServerAndTheLastWait) {
  const fs::path staleScript = fs::path(root_.path()) / "old" / "tools" / "server.mjs";
  fs::create_directories(staleScript.parent_path());
  fs::copy_file(resources_ / "tools" / "server.mjs", staleScript);
  auto stale = launchNode({staleScript.string(), "--port", std::to_string(port_)});
  ASSERT_NE(stale, nullptr);
  auto controller = makeController();
  ASSERT_TRUE(loop_.waitFor([&] { return !controller->listeningPIDs().empty(); }, 10));
  EXPECT_TRUE(waitReady(2.6) == false);  // it answers, but without our version: not usable
  std::optional<ServerStartupFacts> facts;
  bool onMain = true;
  controller->startupFacts([&](ServerStartupFacts gathered) {
    onMain = loop_.isCurrent();
    facts = gathered;
  });
  ASSERT_TRUE(loop_.waitFor([&] { return facts.has_value(); }, 10));
  EXPECT_FALSE(onMain);
  EXPECT_EQ(facts->listeners, std::vector<int32_t>{stale->pid()});
  EXPECT_EQ(facts->ourStaleListeners, std::vector<int32_t>{stale->pid()});
  EXPECT_EQ(facts->probe, ServerStatus::incompatible);
  EXPECT_EQ(facts->waitedSeconds, 3);  // 2.6 rounded
  stale->signal(SIGKILL);
}

}  // namespace
}  // namespace tovarin
