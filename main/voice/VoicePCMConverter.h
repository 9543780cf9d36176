#pragma once

#include <memory>
#include <optional>
#include <string>

#include "main/voice/VoiceAudioBuffer.h"

namespace tovarin {

// Turns microphone buffers of any rate and channel count into the relay's format:
// 16 kHz mono signed 16-bit little-endian PCM, channels averaged. One resampler serves
// every buffer of a format; a new format starts a new one. Not thread-safe: one
// capture thread converts, and flush() comes after capture has stopped.
class VoicePCMConverter final {
 public:
  static constexpr double outputRate = 16000.0;

  VoicePCMConverter();
  ~VoicePCMConverter();
  VoicePCMConverter(const VoicePCMConverter&) = delete;
  VoicePCMConverter& operator=(const VoicePCMConverter&) = delete;

  // The samples ready so far, possibly none.
  [[nodiscard]] std::string convert(const VoiceAudioBuffer& buffer);
  // What the resampler still holds at the end of the input; empty when nothing was converted.
  [[nodiscard]] std::string flush();

 private:
  struct Resampler;
  std::unique_ptr<Resampler> resampler_;
  std::optional<VoiceAudioBuffer> inputFormat_;  // samples unused; rate and channels only
};

}  // namespace tovarin
