#include "tests/support/FakeServerSupervisor.h"

#include <utility>

namespace tovarin {

void FakeServerSupervisor::checkHealth(std::function<void(bool usable)> completion) {
  ++healthChecks_;
  health_.push_back(std::move(completion));
}

bool FakeServerSupervisor::start() {
  ++starts_;
  if (childRunning_) return false;  // a held child is never launched twice
  if (startResult_) childRunning_ = true;
  return startResult_;
}

void FakeServerSupervisor::waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) {
  waitTimeouts_.push_back(timeoutSeconds);
  waits_.push_back(std::move(completion));
}

void FakeServerSupervisor::startupFacts(std::function<void(ServerStartupFacts)> completion) {
  ++factsRequests_;
  facts_.push_back(std::move(completion));
}

void FakeServerSupervisor::stop() {
  ++stops_;
  childRunning_ = false;
}

bool FakeServerSupervisor::restart() {
  ++restarts_;
  childRunning_ = false;
  if (startResult_) childRunning_ = true;
  return startResult_;
}

bool FakeServerSupervisor::completeHealth(bool usable) {
  if (health_.empty()) return false;
  auto completion = std::move(health_.front());
  health_.pop_front();
  completion(usable);
  return true;
}

bool FakeServerSupervisor::completeWait(bool ready) {
  if (waits_.empty()) return false;
  auto completion = std::move(waits_.front());
  waits_.pop_front();
  completion(ready);
  return true;
}

size_t FakeServerSupervisor::completeAllWaits(bool ready) {
  // Waiters that join while these run belong to the next probing loop.
  auto current = std::exchange(waits_, {});
  for (auto& completion : current) completion(ready);
  return current.size();
}

bool FakeServerSupervisor::completeFacts(const ServerStartupFacts& facts) {
  if (facts_.empty()) return false;
  auto completion = std::move(facts_.front());
  facts_.pop_front();
  completion(facts);
  return true;
}

}  // namespace tovarin
