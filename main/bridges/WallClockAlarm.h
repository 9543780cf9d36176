#pragma once

#include <functional>

namespace tovarin {

// One alarm on the wall clock (seconds since 1970), which, unlike a timer on the
// monotonic clock, comes due on time after the computer slept and notices when the
// clock is set. Main loop only; `fire` runs there.
class WallClockAlarm {
 public:
  virtual ~WallClockAlarm() = default;
  [[nodiscard]] virtual double now() const = 0;
  // Replaces any earlier arming. `fire` runs once the wall clock reaches `at`, or
  // earlier when the wall clock is set, so that the owner looks again.
  virtual void arm(double at, std::function<void()> fire) = 0;
  virtual void disarm() = 0;
};

}  // namespace tovarin
