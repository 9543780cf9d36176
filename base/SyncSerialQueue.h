#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace tovarin {

// A serial queue for synchronous work only: each caller runs its work on its own
// thread, one at a time, and inline when it is already running work of this queue (so
// nested calls cannot deadlock). No thread is woken for a call, which keeps a short
// request as cheap as the work itself. Any thread.
class SyncSerialQueue final {
 public:
  template <typename Work>
  void sync(Work&& work) {
    if (isCurrent()) {
      work();
      return;
    }
    std::lock_guard lock(mutex_);
    Holder holder(owner_);
    work();
  }

  [[nodiscard]] bool isCurrent() const { return owner_.load() == std::this_thread::get_id(); }

 private:
  // Marks the running thread for as long as its work runs, also when the work throws.
  struct Holder {
    explicit Holder(std::atomic<std::thread::id>& owner) : owner_(owner) { owner_ = std::this_thread::get_id(); }
    ~Holder() { owner_ = std::thread::id(); }
    std::atomic<std::thread::id>& owner_;
  };

  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace tovarin
