#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "base/MainLoop.h"

namespace tovarin {

// A main loop with virtual time for tests. Tasks posted from any thread wait until the
// test thread runs them with advance(), runUntilIdle() or waitFor(); delayed tasks run
// only when virtual time reaches them.
class ManualLoop final : public MainLoop {
 public:
  ManualLoop();
  void post(Task task) override;
  TimerHandle postAfter(double seconds, Task task) override;
  bool isCurrent() const override { return std::this_thread::get_id() == owner_; }
  double now() const override;

  // Runs posted tasks and every timer due up to now + seconds, in time order.
  void advance(double seconds);
  template <class Rep, class Period>
  void advance(std::chrono::duration<Rep, Period> delta) {
    advance(std::chrono::duration<double>(delta).count());
  }
  // Runs posted tasks (not timers) until none is left.
  void runUntilIdle();
  // Runs posted tasks as they arrive from other threads until pred() holds or the real
  // timeout passes; returns pred(). Virtual time does not move.
  bool waitFor(const std::function<bool()>& pred, double realTimeoutSeconds = 10);
  size_t pendingTimers() const;

 private:
  struct Timer {
    Task task;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };
  bool runOnePosted();

  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> posted_;                                    // mutex_
  std::multimap<std::pair<double, uint64_t>, Timer> timers_;  // mutex_
  uint64_t sequence_ = 0;                                      // mutex_
  double now_ = 1000.0;                                        // mutex_
};

}  // namespace tovarin
