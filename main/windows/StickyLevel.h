#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "main/page/Window.h"

namespace tovarin {

// How high the sticky window floats. The raw values are what the user defaults store;
// they do not follow the order of the cases, which runs from highest to lowest (the
// order of the status menu).
enum class StickyLevel : int {
  topmost = 3,
  floating = 0,
  main = 4,
  normal = 1,
  desktop = 2,
};

// Highest first, as the status menu lists them.
inline constexpr std::array<StickyLevel, 5> allStickyLevels = {
    StickyLevel::topmost, StickyLevel::floating, StickyLevel::main, StickyLevel::normal,
    StickyLevel::desktop};

[[nodiscard]] constexpr int64_t rawValue(StickyLevel level) { return static_cast<int64_t>(level); }
[[nodiscard]] std::optional<StickyLevel> stickyLevelFromRaw(int64_t raw);
// Exact, case-sensitive match of the setting name.
[[nodiscard]] std::optional<StickyLevel> stickyLevelFromName(std::string_view name);
[[nodiscard]] std::string_view title(StickyLevel level);
[[nodiscard]] std::string_view settingName(StickyLevel level);
// The neighbour above in allStickyLevels; none for the highest.
[[nodiscard]] std::optional<StickyLevel> higher(StickyLevel level);
// The neighbour below; none for the lowest.
[[nodiscard]] std::optional<StickyLevel> lower(StickyLevel level);
// The window manager knows three layers only: everything that floats above ordinary
// windows is kept above them, "normal" stacks with them, "desktop" is kept below them.
[[nodiscard]] WindowStacking windowStacking(StickyLevel level);

}  // namespace tovarin
