#include "main/server/ServerController.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "base/Json.h"
#include "base/Log.h"
#include "base/RandomUuid.h"
#include "main/server/ServerEnvironment.h"
#include "main/server/ShellOutput.h"
#include "main/server/SystemProxy.h"

namespace tovarin {
namespace fs = std::filesystem;

namespace {

constexpr const char* kServerScriptMark = "tools/server.mjs";
constexpr const char* kDefaultAppVersion = "0.2.0";

bool isExecutableFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// A whole line of decimal digits that fits a 32-bit process identifier.
std::optional<int32_t> parsePid(const std::string& line) {
  if (line.empty() || line.size() > 10 || line.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  long long value = std::stoll(line);
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string joinPids(const std::vector<int32_t>& pids) {
  std::string text = "[";
  for (size_t i = 0; i < pids.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(pids[i]);
  }
  return text + "]";
}

void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

}  // namespace

std::shared_ptr<ServerController> ServerController::create(AppConfig config, std::shared_ptr<HttpClient> http,
                                                           MainLoop& mainLoop, Options options) {
  return std::shared_ptr<ServerController>(
      new ServerController(std::move(config), std::move(http), mainLoop, std::move(options)));
}

ServerController::ServerController(AppConfig config, std::shared_ptr<HttpClient> http, MainLoop& mainLoop,
                                   Options options)
    : config_(std::move(config)),
      http_(std::move(http)),
      mainLoop_(mainLoop),
      options_(std::move(options)),
      instanceNonce_(randomUuid()),
      appVersion_(config_.bundle.infoString("CFBundleShortVersionString").value_or(kDefaultAppVersion)),
      probeQueue_(std::make_shared<SerialQueue>("com.orvik.thetovarin.server-probe")) {}

ServerController::~ServerController() = default;

// ---- Health

ServerStatus ServerController::classify(const HttpResponse& response, const std::string& appVersion,
                                        const std::string& instanceNonce) {
  if (!response.responded) return ServerStatus::down;
  auto json = parseJson(response.body);
  if (!json || !json->is_object()) return ServerStatus::incompatible;
  if (response.status != 200) return ServerStatus::incompatible;
  if (jsonInteger(*json, "protocol") != kExpectedProtocol) return ServerStatus::incompatible;
  if (jsonString(*json, "appVersion") != appVersion) return ServerStatus::incompatible;
  return jsonString(*json, "instanceNonce") == instanceNonce ? ServerStatus::ours : ServerStatus::compatible;
}

void ServerController::probe(std::function<void(ServerStatus)> completion) {
  HttpRequest request;
  request.url = config_.healthURL();
  request.timeoutSeconds = kProbeTimeoutSeconds;
  // The answer is judged by value only; the controller's version and nonce never change.
  http_->send(std::move(request), *probeQueue_,
              [queue = probeQueue_, version = appVersion_, nonce = instanceNonce_,
               completion = std::move(completion)](HttpResponse response) {
                completion(classify(response, version, nonce));
              });
}

void ServerController::checkHealth(std::function<void(bool usable)> completion) {
  probe([completion = std::move(completion)](ServerStatus status) { completion(isUsable(status)); });
}

// ---- Readiness

bool ServerController::isWaitingForReadiness() const {
  std::lock_guard lock(waitMutex_);
  return waitingForReadiness_;
}

void ServerController::waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) {
  {
    std::lock_guard lock(waitMutex_);
    readinessWaiters_.push_back(std::move(completion));
    if (waitingForReadiness_) return;  // shares the running wait; its own timeout is ignored
    waitingForReadiness_ = true;
  }
  const double deadline = mainLoop_.now() + timeoutSeconds;
  lastWaitSeconds_ = static_cast<int64_t>(std::llround(timeoutSeconds));
  readinessTick(deadline);
}

void ServerController::readinessTick(double deadline) {
  checkHealth([weak = weak_from_this(), deadline](bool usable) {
    auto self = weak.lock();
    if (!self) return;
    if (usable) return self->finishWait(true);
    // A late answer still counts; only an unusable one past the deadline ends the wait.
    if (self->mainLoop_.now() > deadline) return self->finishWait(false);
    std::lock_guard lock(self->waitMutex_);
    self->reprobeTimer_ = self->mainLoop_.postAfter(kReprobeSeconds, [weak, deadline] {
      if (auto self = weak.lock()) self->readinessTick(deadline);
    });
  });
}

void ServerController::finishWait(bool ready) {
  std::vector<std::function<void(bool)>> waiters;
  {
    std::lock_guard lock(waitMutex_);
    waiters.swap(readinessWaiters_);
    waitingForReadiness_ = false;
  }
  mainLoop_.post([waiters = std::move(waiters), ready] {
    for (const auto& waiter : waiters) waiter(ready);
  });
}

// ---- Runtime, listeners, stale servers

std::optional<std::string> ServerController::findNodeRuntime() const {
  if (auto bundled = config_.bundledNode()) return bundled;
  for (const std::string& path : options_.fixedNodePaths) {
    if (isExecutableFile(path)) return path;
  }
  std::optional<std::string> home = options_.homeDirectory;
  if (!home) {
    auto& environment = options_.environment ? *options_.environment : ProcessEnvironment::shared();
    home = environment.homeDirectory();
  }
  if (!home || home->empty()) return std::nullopt;
  const fs::path versions = fs::path(*home) / ".nvm" / "versions" / "node";
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(versions, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error || names.empty()) return std::nullopt;
  // Plain string order, as documented: "v9..." sorts after "v20...". Only the last is tried.
  std::string newest = *std::max_element(names.begin(), names.end());
  std::string node = (versions / newest / "bin" / "node").string();
  if (!isExecutableFile(node)) return std::nullopt;
  return node;
}

std::vector<int32_t> ServerController::listeningPIDs() const {
  std::string output = shellOutput(
      options_.lsofPath, {"-nP", "-iTCP:" + std::to_string(config_.port), "-sTCP:LISTEN", "-t"});
  std::vector<int32_t> pids;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    if (auto pid = parsePid(output.substr(start, end - start))) pids.push_back(*pid);
    start = end + 1;
  }
  return pids;
}

std::vector<int32_t> ServerController::ourStalePIDs() const {
  std::vector<int32_t> stale;
  const pid_t self = ::getpid();
  for (int32_t pid : listeningPIDs()) {
    if (pid == self) continue;
    std::string command = shellOutput(options_.psPath, {"-o", "command=", "-p", std::to_string(pid)});
    if (command.find(kServerScriptMark) != std::string::npos) stale.push_back(pid);
  }
  return stale;
}

bool ServerController::reclaimPort() {
  std::vector<int32_t> stale = ourStalePIDs();
  if (stale.empty()) return false;
  log("reclaiming port " + std::to_string(config_.port) + " from stale server " + joinPids(stale));
  for (int32_t pid : stale) ::kill(pid, SIGTERM);
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (listeningPIDs().empty()) return true;
    sleepSeconds(0.15);
  }
  for (int32_t pid : ourStalePIDs()) ::kill(pid, SIGKILL);
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (listeningPIDs().empty()) return true;
    sleepSeconds(0.1);
  }
  return listeningPIDs().empty();
}

// ---- The child

std::vector<std::string> ServerController::childEnvironment(const std::string& dataDirectory) const {
  ServerEnvironment::Inputs inputs;
  inputs.inherited = (options_.environment ? *options_.environment : ProcessEnvironment::shared()).values();
  inputs.systemProxies = options_.systemProxies ? options_.systemProxies() : systemProxyEnvironment();
  inputs.dataDirectory = dataDirectory;
  inputs.instanceNonce = instanceNonce_;
  inputs.appVersion = appVersion_;
  inputs.defaultCloudUrl = options_.defaultCloudUrl;
  inputs.oauthClientFile = config_.bundle.resource("GoogleOAuthClient", "json");
  std::map<std::string, std::string> environment = ServerEnvironment::build(inputs);
  if (options_.serverOnlyEnvironment) {
    for (auto& [name, value] : options_.serverOnlyEnvironment->values()) environment[name] = std::move(value);
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : environment) entries.push_back(name + "=" + value);
  return entries;
}

bool ServerController::start() {
  std::lock_guard lock(processMutex_);
  return startLocked();
}

bool ServerController::startLocked() {
  // A start that was already on its way when termination stopped the server would
  // leave a child nobody stops.
  if (process_ || terminated_) return false;
  auto runtime = findNodeRuntime();
  if (!runtime) return false;
  (void)reclaimPort();  // a port still held shows up later, in the readiness wait and the diagnosis
  const std::string dataDirectory = config_.dataDirectory();

  ChildProcessOptions options;
  options.executable = *runtime;
  options.arguments = {config_.serverScript(), "--port", std::to_string(config_.port)};
  options.workingDirectory = config_.serverRoot();
  options.environment = childEnvironment(dataDirectory);
  options.inheritStdin = true;
  options.captureStdout = false;
  // A crash of this program must not leave the server holding the port for good: the
  // next launch would take it for a compatible server and never stop it.
  options.endsWithProgram = true;

  // The exit clears the held child if it is still this one; nothing is logged or
  // restarted. It may run before launch() returns: it then waits for the lock.
  auto token = std::make_shared<int>(0);
  auto launched = ChildProcess::launch(options, [weak = weak_from_this(), weakToken = std::weak_ptr<int>(token)](int) {
    auto self = weak.lock();
    if (!self) return;
    std::lock_guard lock(self->processMutex_);
    auto token = weakToken.lock();
    if (token && self->processToken_ == token) {
      self->process_.reset();
      self->processToken_.reset();
    }
  });
  if (!launched.process) {
    log("server start failed: " + launched.error);
    return false;
  }
  process_ = std::move(launched.process);
  processToken_ = std::move(token);
  log("server started (data=" + dataDirectory + ")");
  return true;
}

bool ServerController::childIsRunning() const {
  std::lock_guard lock(processMutex_);
  return process_ && process_->isRunning();
}

pid_t ServerController::childPid() const {
  std::lock_guard lock(processMutex_);
  return process_ ? process_->pid() : -1;
}

void ServerController::stop() {
  std::shared_ptr<ChildProcess> child;
  {
    std::lock_guard lock(processMutex_);
    terminated_ = true;
    child = releaseChildLocked();
  }
  endChild(child);
}

bool ServerController::restart() {
  std::lock_guard lock(processMutex_);
  if (terminated_) return false;
  auto child = releaseChildLocked();
  if (child && child->isRunning()) {
    log("server child " + std::to_string(child->pid()) + " does not answer as it should; restarting it");
    endChild(child);
  }
  return startLocked();
}

std::shared_ptr<ChildProcess> ServerController::releaseChildLocked() {
  processToken_.reset();
  return std::move(process_);
}

void ServerController::endChild(const std::shared_ptr<ChildProcess>& child) {
  if (!child || !child->isRunning()) return;
  child->signal(SIGTERM);
  for (int check = 0; check < 15; ++check) {
    if (!child->isRunning()) return;
    sleepSeconds(0.1);
  }
  child->signal(SIGKILL);
  // A stopped child ends at SIGKILL, but only once the kernel has taken it down; the
  // port it held is free only then, and a new child must find it free.
  for (int check = 0; check < 20 && child->isRunning(); ++check) sleepSeconds(0.05);
}

// ---- Facts

void ServerController::startupFacts(std::function<void(ServerStartupFacts)> completion) {
  ServerStartupFacts facts;
  facts.listeners = listeningPIDs();
  facts.ourStaleListeners = ourStalePIDs();
  facts.childAlive = childIsRunning();
  facts.port = config_.port;
  facts.autoStartEnabled = config_.autoStartServer;
  facts.nodeFound = findNodeRuntime().has_value();
  facts.waitedSeconds = lastWaitSeconds_.load();
  probe([facts, completion = std::move(completion)](ServerStatus status) mutable {
    facts.probe = status;
    completion(std::move(facts));
  });
}

}  // namespace tovarin
