#include "main/voice/VoicePermission.h"

#include <array>
#include <utility>

namespace tovarin {
namespace {

constexpr std::array<std::pair<VoicePermission, std::string_view>, 4> kNames = {{
    {VoicePermission::granted, "granted"},
    {VoicePermission::denied, "denied"},
    {VoicePermission::restricted, "restricted"},
    {VoicePermission::undetermined, "undetermined"},
}};

}  // namespace

std::string_view toString(VoicePermission permission) {
  for (const auto& [value, name] : kNames) {
    if (value == permission) return name;
  }
  return "undetermined";
}

std::optional<VoicePermission> voicePermissionFromString(std::string_view name) {
  for (const auto& [value, known] : kNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

}  // namespace tovarin
