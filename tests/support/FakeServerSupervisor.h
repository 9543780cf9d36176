#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "main/server/ServerSupervisor.h"

namespace tovarin {

// A supervisor the test drives by hand: health checks, readiness waits and fact
// gathering stay pending until the test completes them. Completions run on the thread
// that completes them (the test thread); the code under test must not assume which.
// Test thread only.
class FakeServerSupervisor final : public ServerSupervisor {
 public:
  // ServerSupervisor
  void checkHealth(std::function<void(bool usable)> completion) override;
  bool start() override;
  // True while a readiness wait is pending, or when the test says so.
  bool isWaitingForReadiness() const override { return waitingOverride_ || !waits_.empty(); }
  bool childIsRunning() const override { return childRunning_; }
  bool autoStartEnabled() const override { return autoStart_; }
  void waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) override;
  void startupFacts(std::function<void(ServerStartupFacts)> completion) override;
  void stop() override;
  // Ends the held child and starts anew with what start() would answer.
  bool restart() override;

  // Setup.
  void setAutoStart(bool on) { autoStart_ = on; }
  void setChildRunning(bool running) { childRunning_ = running; }
  void setWaitingForReadiness(bool waiting) { waitingOverride_ = waiting; }
  // What start() answers; a start that begins also marks the child as running.
  void setStartResult(bool launches) { startResult_ = launches; }

  // Pending work.
  size_t pendingHealthChecks() const { return health_.size(); }
  size_t pendingWaits() const { return waits_.size(); }
  size_t pendingFacts() const { return facts_.size(); }
  // Timeouts of every wait asked for, in order (completed or not).
  const std::vector<double>& waitTimeouts() const { return waitTimeouts_; }
  int healthCheckCount() const { return healthChecks_; }
  int startCount() const { return starts_; }
  int stopCount() const { return stops_; }
  int restartCount() const { return restarts_; }
  int factsCount() const { return factsRequests_; }

  // Completes the oldest pending check, wait or fact request; false when none.
  bool completeHealth(bool usable);
  bool completeWait(bool ready);
  // Completes every pending wait, first caller first, as one shared probing loop does.
  size_t completeAllWaits(bool ready);
  bool completeFacts(const ServerStartupFacts& facts);

 private:
  std::deque<std::function<void(bool)>> health_;
  std::deque<std::function<void(bool)>> waits_;
  std::deque<std::function<void(ServerStartupFacts)>> facts_;
  std::vector<double> waitTimeouts_;
  bool autoStart_ = false;
  bool childRunning_ = false;
  bool waitingOverride_ = false;
  bool startResult_ = false;
  int healthChecks_ = 0;
  int starts_ = 0;
  int stops_ = 0;
  int restarts_ = 0;
  int factsRequests_ = 0;
};

}  // namespace tovarin
