#include "main/voice/VoiceCapabilities.h"

#include "main/voice/VoiceProtocol.h"

namespace tovarin {

Json VoiceCapabilities::pagePayload() const {
  Json voices = Json::array();
  for (const auto& voice : humanVoices) voices.push_back({{"id", voice.id}, {"label", voice.label}});
  return Json{
      {"protocol", VoiceProtocol::version},
      {"input", input},
      {"output", output},
      {"onDeviceSupported", onDeviceSupported},
      {"missingUsageKeys", missingUsageKeys},
      {"permissions", {{"microphone", toString(microphone)}, {"speech", toString(speech)}}},
      {"onDeviceOnly", onDeviceOnly},
      {"cloudFallback", cloudFallback},
      {"humanVoice", humanVoice},
      {"humanVoices", std::move(voices)},
      {"humanDefault", humanDefault},
  };
}

}  // namespace tovarin
