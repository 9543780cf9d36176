#pragma once

#include <atomic>
#include <optional>

#include "main/presence/PresenceProbe.h"

namespace tovarin {

// Answers what the test set; counts how often it was asked.
class FakePresenceProbe final : public PresenceProbe {
 public:
  std::optional<double> idleSeconds() override {
    ++calls;
    return idle;
  }
  std::optional<bool> screenLocked() override { return locked; }

  std::optional<double> idle = 0.0;
  std::optional<bool> locked = false;
  std::atomic<int> calls{0};
};

}  // namespace tovarin
