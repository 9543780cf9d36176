#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

#include "main/voice/VoiceFailure.h"

namespace tovarin {

// What a streamed-speech session reports.
struct VoiceSpeakUpdate {
  struct Audio {
    std::string pcm;  // 16-bit little-endian mono samples
    bool operator==(const Audio&) const = default;
  };
  struct Done {
    int64_t chars = 0;
    std::string reason;
    bool operator==(const Done&) const = default;
  };
  using Failed = VoiceFailure;
  struct Ready {
    bool operator==(const Ready&) const = default;
  };

  std::variant<Audio, Done, Failed, Ready> value;

  template <class Case>
    requires(!std::is_same_v<std::remove_cvref_t<Case>, VoiceSpeakUpdate>)
  VoiceSpeakUpdate(Case update) : value(std::move(update)) {}
  bool operator==(const VoiceSpeakUpdate&) const = default;
};

}  // namespace tovarin
