#pragma once

#include <optional>

#include "main/presence/PresenceSchedule.h"

namespace tovarin {

// Whether the user is at the computer: the login session's idle time and screen lock.
// Called from the presence reporter's queue only; answers may block briefly.
class PresenceProbe {
 public:
  virtual ~PresenceProbe() = default;
  // Seconds since the last input event of the session; nullopt when this desktop gives
  // no access to it.
  virtual std::optional<double> idleSeconds() = 0;
  // Whether the session's screen is locked; nullopt when that cannot be known.
  virtual std::optional<bool> screenLocked() = 0;

  // Both probes with the two times given. An unknown idle time counts as idle, so that
  // presence is never claimed without evidence; an unknown lock state counts as
  // unlocked, as a session that says nothing about its lock is taken to be unlocked.
  [[nodiscard]] PresenceFacts facts(std::optional<double> lastReportedAt, std::optional<double> backoffUntil);
};

}  // namespace tovarin
