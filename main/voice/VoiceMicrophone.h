#pragma once

#include <functional>
#include <optional>

#include "main/voice/VoiceAudioBuffer.h"
#include "main/voice/VoiceFailure.h"

namespace tovarin {

// The audio input. Buffers, configuration changes and interruptions arrive on the
// capture thread; the engine moves what it needs to the main loop.
class VoiceMicrophone {
 public:
  using BufferCallback = std::function<void(const VoiceAudioBuffer&)>;

  virtual ~VoiceMicrophone() = default;
  // Told when the input device or its format changes under a running capture.
  virtual void setOnConfigurationChange(std::function<void()> callback) = 0;
  virtual void setOnInterruption(std::function<void()> callback) = 0;
  // Starts capture; every buffer goes to onBuffer. Otherwise answers "no-input-device" or
  // "audio-start-failed", having closed first so that a later open starts clean.
  [[nodiscard]] virtual std::optional<VoiceFailure> open(BufferCallback onBuffer) = 0;
  // Stops capture; no buffer is delivered once it returns. Harmless when closed.
  virtual void close() = 0;
};

}  // namespace tovarin
