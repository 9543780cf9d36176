#pragma once

#include <time.h>

namespace tovarin {

// Seconds on a clock that never jumps with the wall clock yet keeps counting while the
// computer sleeps, so that waits, back-offs and report spacing measured across a
// suspend see the time that really passed.
inline double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace tovarin
