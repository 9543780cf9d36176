#include "main/windows/StickyGeometry.h"

#include <algorithm>
#include <cmath>

namespace tovarin::StickyGeometry {

namespace {

double intersectionArea(const Rect& a, const Rect& b) {
  const double width = std::min(a.maxX(), b.maxX()) - std::max(a.x, b.x);
  const double height = std::min(a.maxY(), b.maxY()) - std::max(a.y, b.y);
  if (!(width > 0) || !(height > 0)) return 0;
  return width * height;
}

double bounded(double value, double low, double high) {
  if (!std::isfinite(value)) return low;
  return std::min(std::max(value, low), high);
}

}  // namespace

std::optional<Screen> screen(const Rect& frame, const std::vector<Screen>& screens) {
  const Screen* best = nullptr;
  double bestArea = 0;
  for (const Screen& candidate : screens) {
    const double area = intersectionArea(frame, candidate.frame);
    if (area > bestArea) {
      best = &candidate;
      bestArea = area;
    }
  }
  if (best) return *best;
  if (screens.empty()) return std::nullopt;
  return screens.front();
}

Size largestSize(const std::optional<Screen>& screen) {
  const Size room = screen ? Size{screen->visibleFrame.width, screen->visibleFrame.height} : maxSize;
  return {bounded(std::max(room.width, minSize.width), minSize.width, maxSize.width),
          bounded(std::max(room.height, minSize.height), minSize.height, maxSize.height)};
}

Size clamp(Size size, const std::optional<Screen>& screen) {
  const Size largest = largestSize(screen);
  return {bounded(size.width, minSize.width, largest.width),
          bounded(size.height, minSize.height, largest.height)};
}

}  // namespace tovarin::StickyGeometry
