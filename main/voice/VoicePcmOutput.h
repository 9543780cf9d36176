#pragma once

#include <functional>
#include <optional>
#include <string>

#include "main/voice/VoiceFailure.h"

namespace tovarin {

// A sound output for 16-bit little-endian PCM at one rate and channel count. Writes
// return at once; the audio goes out on the output's own thread, in order.
class VoicePcmOutput {
 public:
  virtual ~VoicePcmOutput() = default;
  // Opens the device; answers why when it cannot.
  [[nodiscard]] virtual std::optional<VoiceFailure> start() = 0;
  // Whole frames only.
  virtual void write(std::string pcm) = 0;
  // `played` runs on the main loop once everything written so far has been played by
  // the device. Not after stop().
  virtual void drain(std::function<void()> played) = 0;
  // Silences at once, dropping what is not yet played; later writes are ignored.
  virtual void stop() = 0;
};

}  // namespace tovarin
