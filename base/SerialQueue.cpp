#include "base/SerialQueue.h"

#include <pthread.h>

#include "base/MonotonicClock.h"

namespace tovarin {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
  thread_ = std::thread([this] { run(); });
  // Linux limits thread names to 15 characters; keep the end, the most specific part.
  std::string shortName = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
  pthread_setname_np(thread_.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // the queue's last owner went away inside one of its own tasks
  } else {
    thread_.join();
  }
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

double SerialQueue::now() const { return monotonicSeconds(); }

void SerialQueue::async(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    ready_.push_back(std::move(task));
  }
  wake_.notify_one();
}

TimerHandle SerialQueue::asyncAfter(double seconds, Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return TimerHandle(cancelled);
    delayed_.emplace(monotonicSeconds() + std::max(0.0, seconds), Delayed{std::move(task), cancelled});
  }
  wake_.notify_one();
  return TimerHandle(cancelled);
}

void SerialQueue::sync(const Task& task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  async([&] {
    task();
    std::lock_guard lock(doneMutex);
    done = true;
    doneSignal.notify_one();
  });
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

void SerialQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return;
    const double now = monotonicSeconds();
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
      auto node = delayed_.extract(delayed_.begin());
      Delayed& delayed = node.mapped();
      if (!delayed.cancelled->load()) {
        auto cancelled = delayed.cancelled;
        ready_.push_back([task = std::move(delayed.task), cancelled] {
          if (!cancelled->load()) task();
        });
      }
    }
    if (!ready_.empty()) {
      Task task = std::move(ready_.front());
      ready_.pop_front();
      lock.unlock();
      task();
      task = nullptr;  // captured owners die here, on the queue, outside the lock
      lock.lock();
      continue;
    }
    if (delayed_.empty()) {
      wake_.wait(lock);
    } else {
      const double wait = delayed_.begin()->first - now;
      wake_.wait_for(lock, std::chrono::duration<double>(wait));
    }
  }
}

}  // namespace tovarin
