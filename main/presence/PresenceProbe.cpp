#include "main/presence/PresenceProbe.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovarin {

PresenceFacts PresenceProbe::facts(std::optional<double> lastReportedAt, std::optional<double> backoffUntil) {
  PresenceFacts facts;
  const auto idle = idleSeconds();
  facts.idleSeconds = idle && std::isfinite(*idle) ? std::max(0.0, *idle) : std::numeric_limits<double>::infinity();
  facts.screenLocked = screenLocked().value_or(false);
  facts.lastReportedAt = lastReportedAt;
  facts.backoffUntil = backoffUntil;
  return facts;
}

}  // namespace tovarin
