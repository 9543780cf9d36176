#pragma once

#include <cstdint>

namespace tovarin {

// What a prune, clear, rebind or reset removed from the record.
struct ActivityClearCounts {
  int64_t intervalsDeleted = 0;
  int64_t intervalsTrimmed = 0;  // kept with a shortened span
  int64_t summariesDeleted = 0;

  bool operator==(const ActivityClearCounts&) const = default;
};

}  // namespace tovarin
