#pragma once

#include <functional>
#include <optional>

#include "main/bridges/WallClockAlarm.h"

namespace tovarin {

// A wall clock the test sets. Moving it fires the armed alarm once its time is reached;
// setClock() also fires it as the real clock does when someone sets the time.
class FakeWallClockAlarm final : public WallClockAlarm {
 public:
  explicit FakeWallClockAlarm(double now) : now_(now) {}

  double now() const override { return now_; }
  void arm(double at, std::function<void()> fire) override {
    armedAt_ = at;
    fire_ = std::move(fire);
  }
  void disarm() override {
    armedAt_.reset();
    fire_ = nullptr;
  }

  // The clock runs forward by `seconds`; the alarm fires when it came due.
  void advance(double seconds) {
    now_ += seconds;
    if (armedAt_ && *armedAt_ <= now_) fireNow();
  }
  // Someone set the clock: the alarm fires so its owner looks again.
  void setClock(double now) {
    now_ = now;
    if (armedAt_) fireNow();
  }
  std::optional<double> armedAt() const { return armedAt_; }

 private:
  void fireNow() {
    auto fire = std::exchange(fire_, nullptr);
    armedAt_.reset();
    if (fire) fire();
  }

  double now_;
  std::optional<double> armedAt_;
  std::function<void()> fire_;
};

}  // namespace tovarin
