#include "main/windows/StickyZone.h"

#include "main/windows/StickyGeometry.h"

namespace tovarin {

std::string_view name(StickyZone zone) {
  switch (zone) {
    case StickyZone::interior: return "interior";
    case StickyZone::top: return "top";
    case StickyZone::bottom: return "bottom";
    case StickyZone::left: return "left";
    case StickyZone::right: return "right";
    case StickyZone::topLeft: return "topLeft";
    case StickyZone::topRight: return "topRight";
    case StickyZone::bottomLeft: return "bottomLeft";
    case StickyZone::bottomRight: return "bottomRight";
  }
  return "interior";
}

std::optional<StickyZone> stickyZoneFromName(std::string_view text) {
  for (StickyZone zone : allStickyZones) {
    if (name(zone) == text) return zone;
  }
  return std::nullopt;
}

namespace StickyZones {

StickyZone zoneAt(StickyPoint p, Size bounds) {
  constexpr double c = StickyGeometry::corner;
  constexpr double e = StickyGeometry::edge;
  const double w = bounds.width;
  const double h = bounds.height;
  if (p.x <= c && p.y >= h - c) return StickyZone::topLeft;
  if (p.x >= w - c && p.y >= h - c) return StickyZone::topRight;
  if (p.x <= c && p.y <= c) return StickyZone::bottomLeft;
  if (p.x >= w - c && p.y <= c) return StickyZone::bottomRight;
  if (p.x <= e) return StickyZone::left;
  if (p.x >= w - e) return StickyZone::right;
  if (p.y <= e) return StickyZone::bottom;
  if (p.y >= h - e) return StickyZone::top;
  return StickyZone::interior;
}

}  // namespace StickyZones
}  // namespace tovarin
