#pragma once

#include <cstddef>
#include <string_view>

namespace tovarin {

// Streamed cloud speech through the local server's relay.
namespace SpeakStreamProtocol {
inline constexpr std::string_view socketPath = "/api/voice/speak";
inline constexpr double sampleRate = 16000.0;  // of the 16-bit PCM sent back
inline constexpr std::size_t maxTextChars = 400;
inline constexpr int defaultVoice = 601000;

namespace Client {
inline constexpr std::string_view start = "start";
inline constexpr std::string_view text = "text";
inline constexpr std::string_view end = "end";
inline constexpr std::string_view stop = "stop";
}  // namespace Client

namespace Server {
inline constexpr std::string_view ready = "ready";
inline constexpr std::string_view done = "done";
inline constexpr std::string_view error = "error";
}  // namespace Server
}  // namespace SpeakStreamProtocol

}  // namespace tovarin
