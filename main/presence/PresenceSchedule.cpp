#include "main/presence/PresenceSchedule.h"

#include <algorithm>

namespace tovarin::PresenceSchedule {

std::optional<PresenceSkip> skipReason(const PresenceFacts& facts, double now) {
  if (facts.screenLocked) return PresenceSkip::screenLocked;
  // Written so that an unknown (NaN) idle time counts as idle too.
  if (!(facts.idleSeconds < presenceActiveWithinSeconds)) return PresenceSkip::idle;
  if (facts.backoffUntil && now + spacingTolerance < *facts.backoffUntil) return PresenceSkip::backingOff;
  if (!facts.lastReportedAt) return std::nullopt;
  if (now - *facts.lastReportedAt + spacingTolerance < presenceActiveWithinSeconds) return PresenceSkip::throttled;
  return std::nullopt;
}

bool shouldReport(const PresenceFacts& facts, double now) { return !skipReason(facts, now).has_value(); }

double backoff(int failures, PresenceRefusal refusal, double now) {
  if (refusal == PresenceRefusal::unauthorized) return now + unauthorizedBackoffSeconds;
  const int k = std::clamp(failures, 1, 5);
  return now + 60.0 * static_cast<double>(1 << (k - 1));
}

}  // namespace tovarin::PresenceSchedule
