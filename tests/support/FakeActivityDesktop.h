#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityDesktop.h"

namespace tovarin {

// A desktop the test describes. Title reads run on the capture's read queue; with
// holdReads() each read waits until the test releases it, so a test can change the
// desktop while a read is in flight.
class FakeActivityDesktop final : public ActivityDesktop {
 public:
  std::optional<RunningApplication> frontmost;  // main only
  double idleSeconds = 0;                       // main only
  std::atomic<bool> trusted{true};

  std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
  double secondsSinceLastInput() override { return idleSeconds; }
  bool accessibilityTrusted() override { return trusted.load(); }
  void requestAccessibility() override { ++accessibilityRequests; }

  std::optional<std::string> focusedWindowTitle(const RunningApplication& app) override {
    std::unique_lock lock(mutex_);
    reads_.push_back(app);
    ++inFlight_;
    maxInFlight_ = std::max(maxInFlight_, inFlight_);
    changed_.notify_all();
    changed_.wait(lock, [&] { return !hold_ || released_ > 0; });
    if (hold_) --released_;
    --inFlight_;
    auto found = titles_.find(app.window);
    return found == titles_.end() ? std::nullopt : found->second;
  }

  void setTitle(std::uint64_t window, std::optional<std::string> title) {
    std::lock_guard lock(mutex_);
    titles_[window] = std::move(title);
  }
  void holdReads() {
    std::lock_guard lock(mutex_);
    hold_ = true;
  }
  // Lets one held read finish.
  void releaseOne() {
    std::lock_guard lock(mutex_);
    ++released_;
    changed_.notify_all();
  }
  void releaseAll() {
    std::lock_guard lock(mutex_);
    hold_ = false;
    changed_.notify_all();
  }
  std::vector<RunningApplication> reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  int maxInFlight() const {
    std::lock_guard lock(mutex_);
    return maxInFlight_;
  }

  int accessibilityRequests = 0;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, std::optional<std::string>> titles_;  // mutex_
  std::vector<RunningApplication> reads_;                       // mutex_
  bool hold_ = false;                                           // mutex_
  int released_ = 0;                                            // mutex_
  int inFlight_ = 0;                                            // mutex_
  int maxInFlight_ = 0;                                         // mutex_
};

}  // namespace tovarin
