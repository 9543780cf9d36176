#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/ChildProcess.h"
#include "base/HttpClient.h"
#include "base/MainLoop.h"
#include "base/ProcessEnvironment.h"
#include "base/SerialQueue.h"
#include "main/config/AppConfig.h"
#include "main/server/ServerStatus.h"
#include "main/server/ServerSupervisor.h"

namespace tovarin {

// Supervises the local server: probes its health, finds a Node.js runtime, takes the
// port back from stale copies of the server, starts it as a child with its prepared
// environment, waits for it to answer, and stops it at exit.
//
// Threads: any thread may call it. Probe completions (checkHealth, probe, startupFacts)
// run on the controller's probe queue, never on the main thread; readiness waiters run
// on the main loop. start() and stop() block their caller (start() up to about 5 s
// while it reclaims the port, stop() up to about 1.5 s). processMutex_ and waitMutex_
// are never held together, and neither is held while a callback runs.
class ServerController final : public ServerSupervisor, public std::enable_shared_from_this<ServerController> {
 public:
  // Where this platform keeps things, and the seams tests replace.
  struct Options {
    std::string lsofPath = "/usr/bin/lsof";
    std::string psPath = "/bin/ps";
    std::vector<std::string> fixedNodePaths = {"/opt/homebrew/bin/node", "/usr/local/bin/node", "/usr/bin/node"};
    std::optional<std::string> homeDirectory;  // nullopt: $HOME of the environment
    std::string defaultCloudUrl = "https://account.orvik.cn";
    // The environment the child inherits; nullptr: ProcessEnvironment::shared().
    std::shared_ptr<ProcessEnvironment> environment;
    // Secrets meant for the server child alone (the activity bridge's socket and
    // tokens), laid over everything else at each start; no other child sees them.
    std::shared_ptr<ProcessEnvironment> serverOnlyEnvironment;
    // The system proxy entries; empty: systemProxyEnvironment().
    std::function<std::map<std::string, std::string>()> systemProxies;
  };

  static constexpr int kExpectedProtocol = 3;
  static constexpr double kProbeTimeoutSeconds = 2.5;
  static constexpr double kReprobeSeconds = 0.4;

  static std::shared_ptr<ServerController> create(AppConfig config, std::shared_ptr<HttpClient> http,
                                                  MainLoop& mainLoop, Options options);
  static std::shared_ptr<ServerController> create(AppConfig config, std::shared_ptr<HttpClient> http,
                                                  MainLoop& mainLoop) {
    return create(std::move(config), std::move(http), mainLoop, Options());
  }
  // Leaves a running child alone: stopping it is the owner's call (stop()).
  ~ServerController() override;

  // ServerSupervisor
  void checkHealth(std::function<void(bool usable)> completion) override;
  bool start() override;
  bool isWaitingForReadiness() const override;
  bool childIsRunning() const override;
  bool autoStartEnabled() const override { return config_.autoStartServer; }
  void waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) override;
  void startupFacts(std::function<void(ServerStartupFacts)> completion) override;
  // Ends the child for good: a start() that comes later, even one already on its way
  // from a health answer, refuses.
  void stop() override;
  bool restart() override;

  void probe(std::function<void(ServerStatus)> completion);
  // True when the port has no listener left. Used by start().
  bool reclaimPort();

  // The rules of one health answer; responded=false means no body at all.
  static ServerStatus classify(const HttpResponse& response, const std::string& appVersion,
                               const std::string& instanceNonce);

  std::optional<std::string> findNodeRuntime() const;
  std::vector<int32_t> listeningPIDs() const;
  std::vector<int32_t> ourStalePIDs() const;

  const std::string& instanceNonce() const { return instanceNonce_; }
  const std::string& appVersion() const { return appVersion_; }
  int64_t lastWaitSeconds() const { return lastWaitSeconds_.load(); }
  const AppConfig& config() const { return config_; }
  // The held child's pid, or -1.
  pid_t childPid() const;

 private:
  ServerController(AppConfig config, std::shared_ptr<HttpClient> http, MainLoop& mainLoop, Options options);
  std::vector<std::string> childEnvironment(const std::string& dataDirectory) const;
  bool startLocked();
  std::shared_ptr<ChildProcess> releaseChildLocked();
  // TERM, up to 15 checks 0.1 s apart, then KILL. Blocks.
  static void endChild(const std::shared_ptr<ChildProcess>& child);
  void readinessTick(double deadline);
  void finishWait(bool ready);

  const AppConfig config_;
  const std::shared_ptr<HttpClient> http_;
  MainLoop& mainLoop_;
  const Options options_;
  const std::string instanceNonce_;
  const std::string appVersion_;
  // Shared with every request in flight: the client posts completions to it, so it
  // lives until the last one has run, even past the controller.
  const std::shared_ptr<SerialQueue> probeQueue_;

  mutable std::mutex processMutex_;
  std::shared_ptr<ChildProcess> process_;   // processMutex_
  std::shared_ptr<int> processToken_;       // processMutex_; identifies the held child to its exit handler
  bool terminated_ = false;                 // processMutex_; stop() ran

  mutable std::mutex waitMutex_;
  std::vector<std::function<void(bool)>> readinessWaiters_;  // waitMutex_
  bool waitingForReadiness_ = false;                         // waitMutex_
  TimerHandle reprobeTimer_;                                 // waitMutex_
  std::atomic<int64_t> lastWaitSeconds_{12};
};

}  // namespace tovarin
