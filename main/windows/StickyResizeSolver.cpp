#include "main/windows/StickyResizeSolver.h"

#include <algorithm>

#include "main/windows/StickyGeometry.h"

namespace tovarin {

StickyResizeSolver StickyResizeSolver::begin(StickyZone zone, const Rect& frame, StickyPoint mouse,
                                             const std::optional<Screen>& screen) {
  StickyResizeSolver solver;
  solver.zone = zone;
  solver.limit = {StickyGeometry::minSize, StickyGeometry::largestSize(screen)};
  if (screen) solver.room = screen->visibleFrame;
  solver.anchorFrame = frame;
  solver.anchorMouse = mouse;
  return solver;
}

StickyResizeSolver::Step StickyResizeSolver::step(StickyPoint mouse) {
  const Rect& a = anchorFrame;
  const double dx = mouse.x - anchorMouse.x;
  const double dy = mouse.y - anchorMouse.y;

  double proposedWidth = a.width;
  if (pullsRight(zone)) proposedWidth += dx;
  if (pullsLeft(zone)) proposedWidth -= dx;
  double proposedHeight = a.height;
  if (pullsTop(zone)) proposedHeight += dy;
  if (pullsBottom(zone)) proposedHeight -= dy;

  double width = std::clamp(proposedWidth, limit.min.width, std::max(limit.min.width, limit.max.width));
  double height = std::clamp(proposedHeight, limit.min.height, std::max(limit.min.height, limit.max.height));
  if (pullsTop(zone) && room) {
    // The top may not rise above the room, unless the room is too low for the minimum.
    const double freeHeight = room->maxY() - a.y;
    if (freeHeight >= limit.min.height) height = std::min(height, freeHeight);
  }

  const double x = pullsLeft(zone) ? a.maxX() - width : a.x;
  const double y = pullsBottom(zone) ? a.maxY() - height : a.y;
  const bool movesSide = pullsLeft(zone) || pullsRight(zone);
  const bool movesTopOrBottom = pullsTop(zone) || pullsBottom(zone);
  Step result{{x, y, width, height}, movesSide && width != proposedWidth,
              movesTopOrBottom && height != proposedHeight};

  if (result.clampedX) {
    anchorFrame.width = width;
    anchorFrame.x = x;
    anchorMouse.x = mouse.x;
  }
  if (result.clampedY) {
    anchorFrame.height = height;
    anchorFrame.y = y;
    anchorMouse.y = mouse.y;
  }
  return result;
}

}  // namespace tovarin
