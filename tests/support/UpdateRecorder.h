#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace tovarin {

// Collects the updates a session hands to its callback, on whatever thread it calls
// from, and lets the test wait for a number of them.
template <typename Update>
class UpdateRecorder final {
 public:
  std::function<void(Update)> callback() {
    return [this](Update update) {
      std::lock_guard lock(mutex_);
      updates_.push_back(std::move(update));
      changed_.notify_all();
    };
  }
  bool waitFor(size_t count, double seconds = 10) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return updates_.size() >= count; });
  }
  std::vector<Update> all() {
    std::lock_guard lock(mutex_);
    return updates_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Update> updates_;
};

}  // namespace tovarin
