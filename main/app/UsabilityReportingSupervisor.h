#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "main/server/ServerSupervisor.h"

namespace tovarin {

// Hands every call to the real supervisor and tells `onUsable` each time one of its
// answers finds the server usable: a health check that passes or a wait that ends
// ready. The windows recover through it, so a server that comes up after a launch that
// ended offline (a retry after a port conflict, a slow start that recovers) is seen,
// whoever saw it. `onUsable` runs on the thread of the answer (the probe queue for
// health checks, the main loop for waits). Any thread, like the supervisor itself.
class UsabilityReportingSupervisor final : public ServerSupervisor {
 public:
  UsabilityReportingSupervisor(std::shared_ptr<ServerSupervisor> inner, std::function<void()> onUsable);

  void checkHealth(std::function<void(bool usable)> completion) override;
  bool start() override { return inner_->start(); }
  bool isWaitingForReadiness() const override { return inner_->isWaitingForReadiness(); }
  bool childIsRunning() const override { return inner_->childIsRunning(); }
  bool autoStartEnabled() const override { return inner_->autoStartEnabled(); }
  void waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) override;
  void startupFacts(std::function<void(ServerStartupFacts)> completion) override {
    inner_->startupFacts(std::move(completion));
  }
  void stop() override { inner_->stop(); }
  bool restart() override { return inner_->restart(); }

 private:
  const std::shared_ptr<ServerSupervisor> inner_;
  // Shared with answers still in flight, which may outlive this object.
  const std::shared_ptr<const std::function<void()>> onUsable_;
};

}  // namespace tovarin
