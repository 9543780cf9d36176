#include "main/activity_core/RetentionPolicy.h"

#include "main/activity_core/ActivitySettings.h"

namespace tovarin::RetentionPolicy {

double cutoff(double now, int64_t days) { return now - ActivitySettings::clampRetention(days) * 86400.0; }

PruneOutcome apply(const std::vector<ActivityInterval>& intervals, double now, int64_t days) {
  double limit = cutoff(now, days);
  PruneOutcome outcome;
  for (const ActivityInterval& interval : intervals) {
    if (interval.end <= limit) {
      ++outcome.removed;
      continue;
    }
    ActivityInterval kept = interval;
    if (kept.start < limit && kept.end > limit) {
      kept.start = limit;
      ++outcome.trimmed;
    }
    outcome.kept.push_back(std::move(kept));
  }
  return outcome;
}

}  // namespace tovarin::RetentionPolicy
