#pragma once

#include <atomic>
#include <memory>

namespace tovarin {

// Owns one scheduled task. Destroying or cancelling the handle stops the task from
// running; keep it as a member so that the owner's end cancels its timers.
class [[nodiscard]] TimerHandle final {
 public:
  TimerHandle() = default;
  explicit TimerHandle(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}
  TimerHandle(TimerHandle&&) noexcept = default;
  TimerHandle& operator=(TimerHandle&& other) noexcept {
    if (this != &other) {
      cancel();
      cancelled_ = std::move(other.cancelled_);
    }
    return *this;
  }
  TimerHandle(const TimerHandle&) = delete;
  TimerHandle& operator=(const TimerHandle&) = delete;
  ~TimerHandle() { cancel(); }

  void cancel() {
    if (cancelled_) cancelled_->store(true);
    cancelled_.reset();
  }
  // Lets the task run even though this handle goes away (fire and forget).
  void detach() { cancelled_.reset(); }
  bool isArmed() const { return cancelled_ && !cancelled_->load(); }

 private:
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

}  // namespace tovarin
