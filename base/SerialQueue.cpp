#include "base/SerialQueue.h"

#include <pthread.h>

#include "base/MonotonicClock.h"

namespace tovarin {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
  thread_ = std::thread([state = state_] { run(state); });
  threadId_ = thread_.get_id();
  // Linux limits thread names to 15 characters; keep the end, the most specific part.
  std::string shortName = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
  pthread_setname_np(thread_.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // the queue's last owner went away inside one of its own tasks
  } else {
    thread_.join();
  }
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == threadId_; }

double SerialQueue::now() const { return monotonicSeconds(); }

void SerialQueue::async(Task task) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopping) return;
    state_->ready.push_back(std::move(task));
  }
  state_->wake.notify_one();
}

TimerHandle SerialQueue::asyncAfter(double seconds, Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopping) return TimerHandle(cancelled);
    state_->delayed.emplace(monotonicSeconds() + std::max(0.0, seconds), Delayed{std::move(task), cancelled});
  }
  state_->wake.notify_one();
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

void SerialQueue::run(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    if (state->stopping) return;
    const double now = monotonicSeconds();
    while (!state->delayed.empty() && state->delayed.begin()->first <= now) {
      auto node = state->delayed.extract(state->delayed.begin());
      Delayed& delayed = node.mapped();
      if (!delayed.cancelled->load()) {
        auto cancelled = delayed.cancelled;
        state->ready.push_back([task = std::move(delayed.task), cancelled] {
          if (!cancelled->load()) task();
        });
      }
    }
    if (!state->ready.empty()) {
      Task task = std::move(state->ready.front());
      state->ready.pop_front();
      lock.unlock();
      task();
      task = nullptr;  // captured owners die here, on the queue, outside the lock
      lock.lock();
      continue;
    }
    if (state->delayed.empty()) {
      state->wake.wait(lock);
    } else {
      const double wait = state->delayed.begin()->first - now;
      state->wake.wait_for(lock, std::chrono::duration<double>(wait));
    }
  }
}

}  // namespace tovarin
