#include "tests/support/ManualLoop.h"

namespace tovarin {

ManualLoop::ManualLoop() : owner_(std::this_thread::get_id()) {}

void ManualLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  wake_.notify_all();
}

TimerHandle ManualLoop::postAfter(double seconds, Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(mutex_);
    timers_.emplace(std::make_pair(now_ + std::max(0.0, seconds), sequence_++), Timer{std::move(task), cancelled});
  }
  wake_.notify_all();
  return TimerHandle(cancelled);
}

double ManualLoop::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

bool ManualLoop::runOnePosted() {
  Task task;
  {
    std::lock_guard lock(mutex_);
    if (posted_.empty()) return false;
    task = std::move(posted_.front());
    posted_.pop_front();
  }
  task();
  return true;
}

void ManualLoop::runUntilIdle() {
  while (runOnePosted()) {
  }
}

void ManualLoop::advance(double seconds) {
  runUntilIdle();
  double target;
  {
    std::lock_guard lock(mutex_);
    target = now_ + seconds;
  }
  for (;;) {
    Timer timer;
    {
      std::lock_guard lock(mutex_);
      auto first = timers_.begin();
      if (first == timers_.end() || first->first.first > target) break;
      now_ = std::max(now_, first->first.first);
      timer = std::move(first->second);
      timers_.erase(first);
    }
    if (!timer.cancelled->load()) timer.task();
    runUntilIdle();
  }
  {
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, target);
  }
  runUntilIdle();
}

bool ManualLoop::waitFor(const std::function<bool()>& pred, double realTimeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realTimeoutSeconds);
  for (;;) {
    runUntilIdle();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    // Wake on a post, or every few milliseconds to re-check state other threads change.
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !posted_.empty(); });
  }
}

size_t ManualLoop::pendingTimers() const {
  std::lock_guard lock(mutex_);
  size_t armed = 0;
  for (const auto& [when, timer] : timers_) {
    if (!timer.cancelled->load()) ++armed;
  }
  return armed;
}

}  // namespace tovarin
