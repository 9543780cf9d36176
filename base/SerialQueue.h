#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/TaskRunner.h"

namespace tovarin {

// A named thread that runs tasks in FIFO order, plus delayed tasks at their time.
// Destruction drains nothing: queued tasks that have not started are dropped, the
// running one finishes, and the thread is joined.
class SerialQueue final : public TaskRunner {
 public:
  explicit SerialQueue(std::string label);
  ~SerialQueue() override;
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void post(Task task) override { async(std::move(task)); }
  TimerHandle postAfter(double seconds, Task task) override { return asyncAfter(seconds, std::move(task)); }
  bool isCurrent() const override;
  double now() const override;

  void async(Task task);
  TimerHandle asyncAfter(double seconds, Task task);
  // Runs the task on the queue and returns when it has run. Runs it inline when
  // called from the queue itself, so that it cannot deadlock.
  void sync(const Task& task);

  const std::string& label() const { return label_; }

 private:
  struct Delayed {
    Task task;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };
  // Shared with the thread, so that a queue whose last owner goes away inside one of
  // its own tasks can finish that task and stop without touching freed memory.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> ready;                  // mutex
    std::multimap<double, Delayed> delayed;  // mutex
    bool stopping = false;                   // mutex
  };
  static void run(const std::shared_ptr<State>& state);

  const std::string label_;
  const std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
  std::thread::id threadId_;
};

}  // namespace tovarin
