#include "main/voice/MainLoopVoiceTimers.h"

#include <utility>

namespace tovarin {
namespace {

class MainLoopVoiceTimer final : public VoiceTimer {
 public:
  explicit MainLoopVoiceTimer(TimerHandle handle) : handle_(std::move(handle)) {}
  void invalidate() override { handle_.cancel(); }

 private:
  TimerHandle handle_;
};

}  // namespace

std::unique_ptr<VoiceTimer> MainLoopVoiceTimers::schedule(double seconds, std::function<void()> callback) {
  return std::make_unique<MainLoopVoiceTimer>(loop_.postAfter(seconds, std::move(callback)));
}

}  // namespace tovarin
