#include "main/voice/VoiceCloudStatus.h"

#include "base/Json.h"
#include "main/voice/VoiceErrorCode.h"

namespace tovarin {
namespace {

VoiceCloudStatus unavailableBecause(std::string_view reason) {
  VoiceCloudStatus status;
  status.reason = std::string(reason);
  return status;
}

// An absent or mistyped section reads as an empty object.
const Json& section(const Json& document, std::string_view key) {
  static const Json empty = Json::object();
  auto found = document.find(key);
  return found != document.end() && found->is_object() ? *found : empty;
}

// Usable only when it says so and gives no reason against it.
bool offered(const Json& service) {
  return jsonBool(service, "available") == true && !jsonString(service, "reason");
}

std::vector<HumanVoiceOption> voicesOf(const Json& speak) {
  std::vector<HumanVoiceOption> voices;
  auto list = speak.find("voices");
  if (list == speak.end() || !list->is_array()) return voices;
  for (const auto& entry : *list) {
    if (!entry.is_object()) continue;
    auto id = jsonInteger(entry, "id");
    auto label = jsonString(entry, "label");
    if (id && label) voices.push_back({*id, *label});
  }
  return voices;
}

}  // namespace

const VoiceCloudStatus VoiceCloudStatus::signedOut = unavailableBecause(VoiceErrorCode::signedOut);
const VoiceCloudStatus VoiceCloudStatus::unconfigured = unavailableBecause(VoiceErrorCode::cloudUnconfigured);

std::optional<VoiceCloudStatus> VoiceCloudStatus::parse(std::string_view data) {
  auto document = parseJson(data);
  if (!document || !document->is_object() || document->empty()) return std::nullopt;
  auto asr = document->find("asr");
  if (asr == document->end() || !asr->is_object()) return std::nullopt;

  VoiceCloudStatus status;
  status.available = jsonBool(*asr, "available").value_or(false);
  status.reason = jsonString(*asr, "reason");
  if (!status.available && !status.reason) status.reason = std::string(VoiceErrorCode::cloudUnconfigured);
  auto remaining = jsonNumber(*asr, "remainingSeconds");
  if (remaining && *remaining <= 0 && !status.reason) status.reason = std::string(VoiceErrorCode::dailyLimit);

  status.noticeAccepted = jsonBool(section(*document, "notice"), "accepted").value_or(false);
  status.ttsAvailable = offered(section(*document, "tts"));
  const Json& speak = section(*document, "speak");
  status.speakAvailable = offered(speak);
  status.speakVoices = voicesOf(speak);
  status.speakDefault = jsonInteger(speak, "defaultVoice").value_or(SpeakStreamProtocol::defaultVoice);
  return status;
}

}  // namespace tovarin
