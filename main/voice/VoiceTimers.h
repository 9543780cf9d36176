#pragma once

#include <functional>
#include <memory>

namespace tovarin {

class VoiceTimer {
 public:
  virtual ~VoiceTimer() = default;
  virtual void invalidate() = 0;
};

// One-shot timers on the loop of the thread that schedules them (the main loop).
class VoiceTimers {
 public:
  virtual ~VoiceTimers() = default;
  [[nodiscard]] virtual std::unique_ptr<VoiceTimer> schedule(double seconds, std::function<void()> callback) = 0;
};

}  // namespace tovarin
