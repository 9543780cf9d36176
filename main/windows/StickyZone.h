#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "main/page/Window.h"
#include "main/windows/StickyPoint.h"

namespace tovarin {

// The nine pointer zones of the sticky window: its interior, four edges and four
// corners. The names are what the page receives.
enum class StickyZone { interior, top, bottom, left, right, topLeft, topRight, bottomLeft, bottomRight };

inline constexpr std::array<StickyZone, 9> allStickyZones = {
    StickyZone::interior, StickyZone::top,     StickyZone::bottom,     StickyZone::left,       StickyZone::right,
    StickyZone::topLeft,  StickyZone::topRight, StickyZone::bottomLeft, StickyZone::bottomRight};

[[nodiscard]] std::string_view name(StickyZone zone);
[[nodiscard]] std::optional<StickyZone> stickyZoneFromName(std::string_view name);
[[nodiscard]] constexpr bool isEdge(StickyZone zone) { return zone != StickyZone::interior; }
[[nodiscard]] constexpr bool isCorner(StickyZone zone) {
  return zone == StickyZone::topLeft || zone == StickyZone::topRight || zone == StickyZone::bottomLeft ||
         zone == StickyZone::bottomRight;
}
[[nodiscard]] constexpr bool pullsLeft(StickyZone zone) {
  return zone == StickyZone::left || zone == StickyZone::topLeft || zone == StickyZone::bottomLeft;
}
[[nodiscard]] constexpr bool pullsRight(StickyZone zone) {
  return zone == StickyZone::right || zone == StickyZone::topRight || zone == StickyZone::bottomRight;
}
[[nodiscard]] constexpr bool pullsTop(StickyZone zone) {
  return zone == StickyZone::top || zone == StickyZone::topLeft || zone == StickyZone::topRight;
}
[[nodiscard]] constexpr bool pullsBottom(StickyZone zone) {
  return zone == StickyZone::bottom || zone == StickyZone::bottomLeft || zone == StickyZone::bottomRight;
}

// Hit-testing of the zones in a window of a given size, in window points (y up).
namespace StickyZones {

// The first rule that holds wins: the four corner squares, then the left, right,
// bottom and top bands.
[[nodiscard]] StickyZone zoneAt(StickyPoint point, Size bounds);

}  // namespace StickyZones
}  // namespace tovarin
