#pragma once

#include <string_view>

namespace tovarin {

// The page side of voice: the handler pages post to, the page object that receives
// events, and the type strings of both directions.
namespace VoiceProtocol {

inline constexpr int version = 1;
inline constexpr std::string_view handlerName = "voice";
inline constexpr std::string_view pageBridge = "__voice";

// The "type" of a body a page posts.
namespace Request {
inline constexpr std::string_view capabilities = "capabilities";
inline constexpr std::string_view preferences = "preferences";
inline constexpr std::string_view voices = "voices";
inline constexpr std::string_view listenStart = "listen.start";
inline constexpr std::string_view listenStop = "listen.stop";
inline constexpr std::string_view listenCancel = "listen.cancel";
inline constexpr std::string_view speak = "speak";
inline constexpr std::string_view speakStop = "speak.stop";
inline constexpr std::string_view speakStreamStart = "speak.stream.start";
inline constexpr std::string_view speakStreamText = "speak.stream.text";
inline constexpr std::string_view speakStreamEnd = "speak.stream.end";
inline constexpr std::string_view speakStreamStop = "speak.stream.stop";
}  // namespace Request

// The "type" of a payload handed to the page.
namespace Event {
inline constexpr std::string_view ready = "ready";
inline constexpr std::string_view partial = "listen.partial";
inline constexpr std::string_view finalText = "listen.final";
inline constexpr std::string_view state = "listen.state";
inline constexpr std::string_view error = "listen.error";
inline constexpr std::string_view speakStart = "speak.start";
inline constexpr std::string_view speakEnd = "speak.end";
inline constexpr std::string_view speakError = "speak.error";
inline constexpr std::string_view voicesResult = "voices.result";
}  // namespace Event

}  // namespace VoiceProtocol
}  // namespace tovarin
