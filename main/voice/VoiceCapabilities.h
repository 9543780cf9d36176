#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Json.h"
#include "main/voice/HumanVoiceOption.h"
#include "main/voice/VoicePermission.h"

namespace tovarin {

// What the system can do for a page and what it has been allowed.
struct VoiceCapabilities {
  bool input = false;
  bool output = false;
  bool onDeviceSupported = false;
  std::vector<std::string> missingUsageKeys;
  VoicePermission microphone = VoicePermission::undetermined;
  VoicePermission speech = VoicePermission::undetermined;
  bool onDeviceOnly = false;
  bool cloudFallback = false;
  bool humanVoice = false;
  std::vector<HumanVoiceOption> humanVoices;
  int64_t humanDefault = 0;

  // The capability keys of a "ready" answer, "protocol" included.
  Json pagePayload() const;

  bool operator==(const VoiceCapabilities&) const = default;
};

}  // namespace tovarin
