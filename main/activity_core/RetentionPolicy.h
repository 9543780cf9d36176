#pragma once

#include <cstdint>
#include <vector>

#include "main/activity_core/ActivityInterval.h"

namespace tovarin {

struct PruneOutcome {
  std::vector<ActivityInterval> kept;
  int removed = 0;
  int trimmed = 0;
  bool operator==(const PruneOutcome&) const = default;
};

// Which stored intervals are older than the retention and go, and which straddle it
// and are shortened.
namespace RetentionPolicy {

// now minus the retention (held to 1...30 days).
[[nodiscard]] double cutoff(double now, int64_t days);
[[nodiscard]] PruneOutcome apply(const std::vector<ActivityInterval>& intervals, double now, int64_t days);

}  // namespace RetentionPolicy
}  // namespace tovarin
