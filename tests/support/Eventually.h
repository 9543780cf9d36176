#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tovarin {

// Polls a condition of real processes, files or servers until it holds or the time is
// up; whether it held. It is asked once more at the deadline, so that a busy machine
// that only got there late still counts.
inline bool eventually(const std::function<bool()>& condition, double seconds,
                       std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(interval);
  }
  return condition();
}

}  // namespace tovarin
