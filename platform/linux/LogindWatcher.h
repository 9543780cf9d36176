#pragma once

#include <memory>
#include <string>
#include <thread>

#include "main/activity/ActivityNotificationCenter.h"

struct _GMainContext;
struct _GMainLoop;

namespace tovarin {

// Turns logind's signals into desktop notifications: PrepareForSleep into willSleep and
// didWake (workspace); the session's Active property into sessionResignedActive and
// sessionBecameActive (workspace); the session's Lock and Unlock signals and its
// LockedHint into screenLocked and screenUnlocked (distributed). Listens on a bus
// connection and a thread of its own that sleep until a signal arrives. Without logind
// it announces nothing.
class LogindWatcher final {
 public:
  // Empty busAddress: the system bus. Returns once the signals are subscribed.
  LogindWatcher(std::string busAddress, std::shared_ptr<ActivityNotificationCenter> workspace,
                std::shared_ptr<ActivityNotificationCenter> distributed);
  ~LogindWatcher();
  LogindWatcher(const LogindWatcher&) = delete;
  LogindWatcher& operator=(const LogindWatcher&) = delete;

  // The session object whose signals are followed; empty when none was found.
  [[nodiscard]] const std::string& sessionPath() const { return sessionPath_; }

  struct Listener;

 private:
  const std::string busAddress_;
  std::unique_ptr<Listener> listener_;
  std::string sessionPath_;  // set before the constructor returns
  _GMainContext* context_ = nullptr;
  _GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

}  // namespace tovarin
