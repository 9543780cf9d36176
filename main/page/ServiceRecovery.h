#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/MainLoop.h"
#include "base/TaskRunner.h"
#include "main/server/ServerSupervisor.h"
#include "main/server/StartupNotice.h"

namespace tovarin {

// The steps a window takes after an outage trigger, shared by the main and sticky
// windows: find out whether the local server can serve the page (starting it where
// allowed), and explain a failure with a fresh start-up notice.
//
// Health results arrive on the supervisor's probe queue; there only the supervisor is
// read (starting the server may block that queue, never the main loop). The owner is
// only tested for life off the main loop, never locked, so that its last reference is
// never released there. Every answer comes on the main loop, and none once the owner is
// gone.
class ServiceRecovery {
 public:
  enum class Finding {
    usable,    // the server answers as ours or compatible
    starting,  // it is being started or waited for: a readiness wait can follow
    unusable,  // down, and nothing will bring it up
  };

  // Who asked: only a retry the user asked for (the retry button, the menu's reconnect)
  // replaces a child of ours that is alive but does not answer, as the notice promises.
  enum class Asker { program, user };

  ServiceRecovery(MainLoop& loop, TaskRunner& background, std::shared_ptr<ServerSupervisor> server);

  // `done` runs `usableDelay` seconds after a usable finding, at once after any other.
  void assess(std::weak_ptr<const void> owner, double usableDelay, std::function<void(Finding)> done,
              Asker asker = Asker::program);

  // Start-up facts are gathered on `background`, since gathering them blocks.
  void diagnose(std::weak_ptr<const void> owner, std::string trigger, bool retried,
                std::function<void(StartupNotice)> done);

 private:
  static void afterHealthCheck(const std::weak_ptr<const void>& owner, const std::weak_ptr<ServerSupervisor>& server,
                               MainLoop& loop, double usableDelay, const std::function<void(Finding)>& done,
                               Asker asker, bool usable);
  static bool bringUp(ServerSupervisor& server, Asker asker);

  MainLoop& loop_;
  TaskRunner& background_;
  std::shared_ptr<ServerSupervisor> server_;
};

}  // namespace tovarin
