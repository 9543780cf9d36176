#pragma once

#include <string>
#include <type_traits>
#include <variant>

#include "main/voice/VoiceFailure.h"

namespace tovarin {

// What a cloud dictation session reports to the engine.
struct VoiceCloudUpdate {
  struct Partial {
    std::string text;
    bool operator==(const Partial&) const = default;
  };
  struct Final {
    std::string text;
    std::string reason;
    bool operator==(const Final&) const = default;
  };
  using Failed = VoiceFailure;
  struct Ready {
    bool operator==(const Ready&) const = default;
  };

  std::variant<Partial, Final, Failed, Ready> value;

  template <class Case>
    requires(!std::is_same_v<std::remove_cvref_t<Case>, VoiceCloudUpdate>)
  VoiceCloudUpdate(Case update) : value(std::move(update)) {}
  bool operator==(const VoiceCloudUpdate&) const = default;
};

}  // namespace tovarin
