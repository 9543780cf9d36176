#include "main/changes/Throttle.h"

#include <algorithm>

namespace tovarin {

Throttle::Decision Throttle::request(double now) {
  const double elapsed = now - last_;
  if (elapsed >= interval_) {
    last_ = now;
    return {Action::now, 0};
  }
  if (pending_) return {Action::coalesced, 0};
  pending_ = true;
  // Clamped: even a clock that went backwards holds a call back one interval at most.
  return {Action::later, std::clamp(interval_ - elapsed, 0.0, interval_)};
}

void Throttle::trailingFired(double now) {
  pending_ = false;
  last_ = now;
}

}  // namespace tovarin
