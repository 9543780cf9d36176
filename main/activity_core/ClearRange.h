#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tovarin {

// How much of the recent past a manual clear removes.
enum class ClearRange { last10Minutes, lastHour, lastDay, all };

inline constexpr std::array<ClearRange, 4> allClearRanges{ClearRange::last10Minutes, ClearRange::lastHour,
                                                          ClearRange::lastDay, ClearRange::all};

[[nodiscard]] std::string_view rawValue(ClearRange range);
[[nodiscard]] std::optional<ClearRange> clearRangeFromRaw(std::string_view raw);
// The length of the range; none for `all`.
[[nodiscard]] std::optional<double> seconds(ClearRange range);
[[nodiscard]] std::string_view label(ClearRange range);

}  // namespace tovarin
