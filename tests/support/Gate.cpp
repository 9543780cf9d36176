#include "tests/support/Gate.h"

#include <chrono>

namespace tovarin {

void Gate::open() {
  std::lock_guard lock(mutex_);
  open_ = true;
  changed_.notify_all();
}

bool Gate::wait(double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return open_; });
}

}  // namespace tovarin
