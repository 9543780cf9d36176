#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/voice/HumanVoiceOption.h"
#include "main/voice/SpeakStreamProtocol.h"

namespace tovarin {

// The cloud relay's status as the local server reports it.
struct VoiceCloudStatus {
  bool available = false;
  std::optional<std::string> reason;
  bool noticeAccepted = false;
  bool ttsAvailable = false;
  bool speakAvailable = false;
  std::vector<HumanVoiceOption> speakVoices;
  int64_t speakDefault = SpeakStreamProtocol::defaultVoice;

  static const VoiceCloudStatus signedOut;
  static const VoiceCloudStatus unconfigured;

  // nullopt for anything that is not a status document with an "asr" object.
  static std::optional<VoiceCloudStatus> parse(std::string_view data);

  bool operator==(const VoiceCloudStatus&) const = default;
};

}  // namespace tovarin
