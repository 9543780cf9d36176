#pragma once

#include <optional>
#include <string_view>

namespace tovarin {

enum class VoicePermission { granted, denied, restricted, undetermined };

std::string_view toString(VoicePermission permission);
// Only the exact lower-case names name a permission.
std::optional<VoicePermission> voicePermissionFromString(std::string_view name);

}  // namespace tovarin
