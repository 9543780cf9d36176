#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tovarin {

// Why recording stops for a while. The raw values are the case names.
enum class SuspendReason { idle, locked, asleep, paused, noAccess, disabled, account };

inline constexpr std::array<SuspendReason, 7> allSuspendReasons{
    SuspendReason::idle,     SuspendReason::locked,   SuspendReason::asleep, SuspendReason::paused,
    SuspendReason::noAccess, SuspendReason::disabled, SuspendReason::account};

[[nodiscard]] std::string_view rawValue(SuspendReason reason);
[[nodiscard]] std::optional<SuspendReason> suspendReasonFromRaw(std::string_view raw);

}  // namespace tovarin
