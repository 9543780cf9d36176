#pragma once

#include <optional>
#include <string_view>

namespace tovarin {

// Why a query is not answered; the raw values are the words the bridge sends.
enum class ActivityDenial { notGranted, platform, timeout, paused };

[[nodiscard]] std::string_view rawValue(ActivityDenial denial);
[[nodiscard]] std::optional<ActivityDenial> activityDenialFromRaw(std::string_view raw);

}  // namespace tovarin
