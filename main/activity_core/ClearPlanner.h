#pragma once

#include <optional>
#include <vector>

#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ClearRange.h"

namespace tovarin {

struct ClearOutcome {
  std::vector<ActivityInterval> kept;
  int deleted = 0;
  int trimmed = 0;
  bool operator==(const ClearOutcome&) const = default;
};

// What a manual clear of the recent past removes and shortens.
namespace ClearPlanner {

// now minus the range; none for `all`.
[[nodiscard]] std::optional<double> cutoff(ClearRange range, double now);
[[nodiscard]] ClearOutcome apply(ClearRange range, const std::vector<ActivityInterval>& intervals, double now);

}  // namespace ClearPlanner
}  // namespace tovarin
