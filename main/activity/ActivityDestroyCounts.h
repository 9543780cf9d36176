#pragma once

#include <cstdint>

namespace tovarin {

// What destroying the record removed.
struct ActivityDestroyCounts {
  int64_t intervalsDeleted = 0;  // rows the database held
  int64_t summariesDeleted = 0;
  int64_t keysDeleted = 0;

  bool operator==(const ActivityDestroyCounts&) const = default;
};

}  // namespace tovarin
