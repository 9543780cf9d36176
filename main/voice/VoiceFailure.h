#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace tovarin {

// A voice failure: one of the VoiceErrorCode strings and, for the user, a Chinese text.
// Thrown where an operation cannot start (the microphone), carried as a value elsewhere.
struct VoiceFailure final : std::runtime_error {
  VoiceFailure(std::string code, std::optional<std::string> message = std::nullopt)
      : std::runtime_error(code), code(std::move(code)), message(std::move(message)) {}

  std::string code;
  std::optional<std::string> message;

  bool operator==(const VoiceFailure& other) const { return code == other.code && message == other.message; }
};

}  // namespace tovarin
