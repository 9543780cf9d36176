#include "main/page/ServiceRecovery.h"

#include <utility>

#include "main/server/ServerStartupDiagnosis.h"

namespace tovarin {

ServiceRecovery::ServiceRecovery(MainLoop& loop, TaskRunner& background, std::shared_ptr<ServerSupervisor> server)
    : loop_(loop), background_(background), server_(std::move(server)) {}

void ServiceRecovery::assess(std::weak_ptr<const void> owner, double usableDelay,
                             std::function<void(Finding)> done, Asker asker) {
  server_->checkHealth([owner = std::move(owner), server = std::weak_ptr<ServerSupervisor>(server_), &loop = loop_,
                        usableDelay, done = std::move(done), asker](bool usable) {
    afterHealthCheck(owner, server, loop, usableDelay, done, asker, usable);
  });
}

bool ServiceRecovery::bringUp(ServerSupervisor& server, Asker asker) {
  if (server.isWaitingForReadiness()) return true;
  if (server.childIsRunning()) {
    // Alive yet unusable after its wait ended: hung or answering wrongly. Waiting
    // again would never end; the user asked, so replace it.
    return asker == Asker::user ? server.restart() : true;
  }
  return server.autoStartEnabled() && server.start();
}

void ServiceRecovery::afterHealthCheck(const std::weak_ptr<const void>& owner,
                                       const std::weak_ptr<ServerSupervisor>& weakServer, MainLoop& loop,
                                       double usableDelay, const std::function<void(Finding)>& done, Asker asker,
                                       bool usable) {
  if (owner.expired()) return;
  if (usable) {
    // Fire and forget: `done` holds its window weakly.
    loop.postAfter(usableDelay, [owner, done] {
          if (!owner.expired()) done(Finding::usable);
        })
        .detach();
    return;
  }
  auto server = weakServer.lock();
  if (!server) return;
  // Starting blocks this queue while the port is reclaimed; that is why it happens here.
  const bool canWait = bringUp(*server, asker);
  loop.post([owner, done, canWait] {
    if (!owner.expired()) done(canWait ? Finding::starting : Finding::unusable);
  });
}

void ServiceRecovery::diagnose(std::weak_ptr<const void> owner, std::string trigger, bool retried,
                               std::function<void(StartupNotice)> done) {
  background_.post([owner = std::move(owner), server = std::weak_ptr<ServerSupervisor>(server_), &loop = loop_,
                    trigger = std::move(trigger), retried, done = std::move(done)] {
    if (owner.expired()) return;
    auto supervisor = server.lock();
    if (!supervisor) return;
    supervisor->startupFacts([owner, &loop, trigger, retried, done](ServerStartupFacts facts) {
      auto notice = ServerStartupDiagnosis::notice(facts, trigger, retried);
      loop.post([owner, done, notice = std::move(notice)] {
        if (!owner.expired()) done(notice);
      });
    });
  });
}

}  // namespace tovarin
