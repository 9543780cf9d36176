#pragma once

#include <optional>
#include <string>

namespace tovarin {

// A voice failure: one of the VoiceErrorCode strings and, for the user, a Chinese text.
// Always a value: returned where an operation cannot start, reported where one ends.
struct VoiceFailure {
  VoiceFailure(std::string code) : code(std::move(code)) {}
  VoiceFailure(std::string code, std::optional<std::string> message)
      : code(std::move(code)), message(std::move(message)) {}

  std::string code;
  std::optional<std::string> message;

  bool operator==(const VoiceFailure&) const = default;
};

}  // namespace tovarin
