#pragma once

#include <functional>

#include "main/server/ServerStartupFacts.h"

namespace tovarin {

// What the windows and the application need of the local server's supervisor.
// ServerController is the real one; tests drive a fake.
class ServerSupervisor {
 public:
  virtual ~ServerSupervisor() = default;
  // Completes on a background queue, never on the main thread.
  virtual void checkHealth(std::function<void(bool usable)> completion) = 0;
  // Launches the child now; blocks the caller while it reclaims the port.
  virtual bool start() = 0;
  virtual bool isWaitingForReadiness() const = 0;
  virtual bool childIsRunning() const = 0;
  virtual bool autoStartEnabled() const = 0;
  // Completes on the main thread; waits that overlap share one probing loop.
  virtual void waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) = 0;
  // Completes on a background queue.
  virtual void startupFacts(std::function<void(ServerStartupFacts)> completion) = 0;
  virtual void stop() = 0;
  // For a retry the user asked for while the child this launch started is alive but
  // does not answer as it should: stops it (TERM, then KILL) and starts a new one.
  // Blocks like start(); false when no new child starts.
  virtual bool restart() = 0;
};

}  // namespace tovarin
