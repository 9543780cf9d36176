#include "main/activity_core/ClearPlanner.h"

namespace tovarin::ClearPlanner {

std::optional<double> cutoff(ClearRange range, double now) {
  auto length = seconds(range);
  if (!length) return std::nullopt;
  return now - *length;
}

ClearOutcome apply(ClearRange range, const std::vector<ActivityInterval>& intervals, double now) {
  ClearOutcome outcome;
  auto limit = cutoff(range, now);
  if (!limit) {
    outcome.deleted = static_cast<int>(intervals.size());
    return outcome;
  }
  for (const ActivityInterval& interval : intervals) {
    if (interval.start >= *limit) {
      ++outcome.deleted;
      continue;
    }
    ActivityInterval kept = interval;
    if (kept.start < *limit && kept.end > *limit) {
      kept.end = *limit;
      ++outcome.trimmed;
    }
    outcome.kept.push_back(std::move(kept));
  }
  return outcome;
}

}  // namespace tovarin::ClearPlanner
