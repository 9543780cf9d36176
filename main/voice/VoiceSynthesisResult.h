#pragma once

#include <optional>
#include <string>

#include "main/voice/VoiceFailure.h"

namespace tovarin {

// One-shot synthesis: the audio file's bytes, or why there are none.
struct VoiceSynthesisResult {
  std::string audio;
  std::optional<VoiceFailure> failure;

  bool ok() const { return !failure; }
  bool operator==(const VoiceSynthesisResult&) const = default;
};

}  // namespace tovarin
