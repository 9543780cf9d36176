#pragma once

#include <chrono>

namespace tovarin {

inline double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace tovarin
