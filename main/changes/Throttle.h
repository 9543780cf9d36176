#pragma once

#include <limits>

namespace tovarin {

// At most one call per interval, with one trailing call for whatever was asked in
// between. Times come from a monotonic clock (TaskRunner::now()): a wall clock set
// backwards would otherwise hold every call back for the size of the jump.
// A value with no thread of its own; its owner serialises the calls.
class Throttle final {
 public:
  enum class Action {
    now,        // call at once
    coalesced,  // a trailing call is already scheduled; nothing to do
    later,      // schedule the trailing call after `delay` seconds, then call trailingFired()
  };
  struct [[nodiscard]] Decision {
    Action action = Action::now;
    double delay = 0;
    bool operator==(const Decision&) const = default;
  };

  explicit Throttle(double intervalSeconds) : interval_(intervalSeconds) {}

  [[nodiscard]] Decision request(double now);
  // The scheduled trailing call is about to run.
  void trailingFired(double now);

  double interval() const { return interval_; }

 private:
  double interval_;
  double last_ = -std::numeric_limits<double>::infinity();
  bool pending_ = false;
};

}  // namespace tovarin
