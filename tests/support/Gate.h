#pragma once

#include <condition_variable>
#include <mutex>

namespace tovarin {

// A one-way signal from the test to a server handler thread: the handler waits until the
// test opens the gate. Once open it stays open.
class Gate final {
 public:
  void open();
  // False when the gate was still closed after seconds (real time).
  bool wait(double seconds = 20);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;  // mutex_
};

}  // namespace tovarin
