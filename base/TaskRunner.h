#pragma once

#include <functional>

#include "base/TimerHandle.h"

namespace tovarin {

using Task = std::function<void()>;

// Something that runs tasks one at a time in order: the main loop or a serial queue.
// Components that live "on a queue" take a TaskRunner so that tests can hand them a
// virtual-time ManualLoop instead.
class TaskRunner {
 public:
  virtual ~TaskRunner() = default;
  virtual void post(Task task) = 0;
  virtual TimerHandle postAfter(double seconds, Task task) = 0;
  virtual bool isCurrent() const = 0;
  // Monotonic seconds; virtual in tests. Throttles and deadlines read this.
  virtual double now() const = 0;
};

}  // namespace tovarin
