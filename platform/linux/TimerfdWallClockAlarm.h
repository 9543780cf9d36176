#pragma once

#include <functional>

#include "main/bridges/WallClockAlarm.h"

namespace tovarin {

// A wall-clock alarm on a timerfd of CLOCK_REALTIME, watched by the GLib main context:
// an absolute realtime timer comes due on time after a suspend, and
// TFD_TIMER_CANCEL_ON_SET wakes it when the clock is set. Main loop only.
class TimerfdWallClockAlarm final : public WallClockAlarm {
 public:
  TimerfdWallClockAlarm();
  ~TimerfdWallClockAlarm() override;
  TimerfdWallClockAlarm(const TimerfdWallClockAlarm&) = delete;
  TimerfdWallClockAlarm& operator=(const TimerfdWallClockAlarm&) = delete;

  double now() const override;
  void arm(double at, std::function<void()> fire) override;
  void disarm() override;

 private:
  static int onReadable(int fd, unsigned condition, void* data);

  int fd_ = -1;
  unsigned source_ = 0;
  std::function<void()> fire_;
};

}  // namespace tovarin
