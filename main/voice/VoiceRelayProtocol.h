#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tovarin {

// Cloud dictation through the local server's relay.
namespace VoiceRelayProtocol {
inline constexpr std::string_view socketPath = "/api/voice/asr";
inline constexpr std::string_view statusPath = "/api/voice/status";
inline constexpr std::string_view ttsPath = "/api/voice/tts";
inline constexpr double sampleRate = 16000.0;  // 16-bit mono PCM
inline constexpr std::string_view langQuery = "lang";
inline constexpr std::size_t chunkBytes = 3200;  // 100 ms at the rate above

namespace Client {
inline constexpr std::string_view end = "end";
inline constexpr std::string_view cancel = "cancel";
}  // namespace Client

namespace Server {
inline constexpr std::string_view ready = "ready";
inline constexpr std::string_view partial = "partial";
inline constexpr std::string_view finalText = "final";
inline constexpr std::string_view error = "error";
}  // namespace Server

// The relay's own failure codes, passed on as sent; any other becomes "cloud-failed".
inline constexpr std::array<std::string_view, 11> errors = {
    "cloud-unconfigured", "notice-required", "busy",    "daily-limit", "platform-limit", "cloud-unavailable",
    "cloud-busy",         "cloud-failed",    "timeout", "bad-audio",   "bad-request"};

constexpr bool isRelayError(std::string_view code) {
  for (auto known : errors) {
    if (known == code) return true;
  }
  return false;
}
}  // namespace VoiceRelayProtocol

}  // namespace tovarin
