#pragma once

#include "base/MainLoop.h"
#include "main/voice/VoiceTimers.h"

namespace tovarin {

// Voice timers on the main loop. A timer that is invalidated or dropped never fires.
class MainLoopVoiceTimers final : public VoiceTimers {
 public:
  explicit MainLoopVoiceTimers(MainLoop& loop) : loop_(loop) {}
  [[nodiscard]] std::unique_ptr<VoiceTimer> schedule(double seconds, std::function<void()> callback) override;

 private:
  MainLoop& loop_;
};

}  // namespace tovarin
