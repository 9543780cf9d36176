#pragma once

#include <string_view>

namespace tovarin {

// The "code" strings of voice failures, as pages and the engine see them.
namespace VoiceErrorCode {
inline constexpr std::string_view missingUsageDescription = "missing-usage-description";
inline constexpr std::string_view permissionDenied = "permission-denied";
inline constexpr std::string_view unsupportedLocale = "unsupported-locale";
inline constexpr std::string_view recognizerUnavailable = "recognizer-unavailable";
inline constexpr std::string_view onDeviceUnavailable = "on-device-unavailable";
inline constexpr std::string_view audioSessionFailed = "audio-session-failed";  // nothing raises it
inline constexpr std::string_view noInputDevice = "no-input-device";
inline constexpr std::string_view audioStartFailed = "audio-start-failed";
inline constexpr std::string_view noSpeech = "no-speech";
inline constexpr std::string_view aborted = "aborted";
inline constexpr std::string_view speakFailed = "speak-failed";
inline constexpr std::string_view noticeRequired = "notice-required";
inline constexpr std::string_view signedOut = "signed-out";
inline constexpr std::string_view cloudUnconfigured = "cloud-unconfigured";
inline constexpr std::string_view busy = "busy";
inline constexpr std::string_view dailyLimit = "daily-limit";
inline constexpr std::string_view platformLimit = "platform-limit";
inline constexpr std::string_view cloudUnavailable = "cloud-unavailable";
inline constexpr std::string_view cloudBusy = "cloud-busy";
inline constexpr std::string_view cloudFailed = "cloud-failed";
inline constexpr std::string_view timeout = "timeout";
inline constexpr std::string_view badAudio = "bad-audio";
inline constexpr std::string_view badRequest = "bad-request";
inline constexpr std::string_view network = "network";
// Raised only by the bridge, for a page that speaks another protocol version.
inline constexpr std::string_view protocolMismatch = "protocol-mismatch";
}  // namespace VoiceErrorCode

}  // namespace tovarin
