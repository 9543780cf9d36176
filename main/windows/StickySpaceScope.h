#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tovarin {

// Whether the sticky window stays on the current workspace or shows on all of them.
// The raw values are what the user defaults store.
enum class StickySpaceScope : int {
  current = 0,
  all = 1,
};

inline constexpr std::array<StickySpaceScope, 2> allStickySpaceScopes = {StickySpaceScope::current,
                                                                        StickySpaceScope::all};

[[nodiscard]] constexpr int64_t rawValue(StickySpaceScope scope) { return static_cast<int64_t>(scope); }
[[nodiscard]] std::optional<StickySpaceScope> stickySpaceScopeFromRaw(int64_t raw);
// Exact, case-sensitive match of the setting name.
[[nodiscard]] std::optional<StickySpaceScope> stickySpaceScopeFromName(std::string_view name);
[[nodiscard]] std::string_view title(StickySpaceScope scope);
[[nodiscard]] std::string_view settingName(StickySpaceScope scope);
// "All" is the window manager's sticky state: the window shows on every workspace.
[[nodiscard]] constexpr bool isOnAllWorkspaces(StickySpaceScope scope) { return scope == StickySpaceScope::all; }

}  // namespace tovarin
