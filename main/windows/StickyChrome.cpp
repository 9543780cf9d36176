#include "main/windows/StickyChrome.h"

#include <cassert>
#include <cmath>

#include "main/windows/StickyGeometry.h"

namespace tovarin {

std::shared_ptr<StickyChrome> StickyChrome::create(MainLoop& loop, std::shared_ptr<Window> window,
                                                   std::shared_ptr<StickyChromeSurface> surface,
                                                   std::function<std::vector<Screen>()> screens) {
  auto chrome = std::make_shared<StickyChrome>(CreateKey{}, loop, std::move(window), std::move(surface),
                                               std::move(screens));
  chrome->surface_->setClient(chrome->weak_from_this());
  return chrome;
}

StickyChrome::StickyChrome(CreateKey, MainLoop& loop, std::shared_ptr<Window> window,
                           std::shared_ptr<StickyChromeSurface> surface, std::function<std::vector<Screen>()> screens)
    : loop_(loop), window_(std::move(window)), surface_(std::move(surface)), screens_(std::move(screens)) {}

StickyCursor StickyChrome::cursorFor(StickyZone zone) {
  switch (zone) {
    case StickyZone::interior: return StickyCursor::arrow;
    case StickyZone::top: return StickyCursor::resizeTop;
    case StickyZone::bottom: return StickyCursor::resizeBottom;
    case StickyZone::left: return StickyCursor::resizeLeft;
    case StickyZone::right: return StickyCursor::resizeRight;
    case StickyZone::topLeft: return StickyCursor::resizeTopLeft;
    case StickyZone::topRight: return StickyCursor::resizeTopRight;
    case StickyZone::bottomLeft: return StickyCursor::resizeBottomLeft;
    case StickyZone::bottomRight: return StickyCursor::resizeBottomRight;
  }
  return StickyCursor::arrow;
}

void StickyChrome::setGrabbable(bool grabbable) {
  assert(loop_.isMainThread());
  grabbable_ = grabbable;
}

void StickyChrome::setOverInteractive(bool interactive) {
  assert(loop_.isMainThread());
  interactiveFlag_ = interactive;
  interactiveAt_ = loop_.now();
}

Size StickyChrome::windowSize() const {
  const Rect frame = window_->frame();
  return {frame.width, frame.height};
}

void StickyChrome::report(bool inside, StickyZone zone) {
  if (inside == reportedInside_ && zone == reportedZone_) return;
  reportedInside_ = inside;
  reportedZone_ = zone;
  if (onPointerChanged) onPointerChanged(inside, zone);
}

void StickyChrome::pointerEntered(const StickyPointerEvent& event) {
  assert(loop_.isMainThread());
  pointerInside_ = true;
  report(true, StickyZones::zoneAt(event.location, windowSize()));
}

void StickyChrome::pointerExited() {
  assert(loop_.isMainThread());
  // While a resize runs the pointer may leave the window it is resizing; the drag goes on.
  if (isResizing()) return;
  pointerInside_ = false;
  cursorHold_.cancel();
  cursorZone_ = StickyZone::interior;
  report(false, StickyZone::interior);
}

void StickyChrome::resetPointerState() {
  assert(loop_.isMainThread());
  pointerInside_ = false;
  cursorHold_.cancel();
  cursorZone_ = StickyZone::interior;
  report(false, StickyZone::interior);
}

void StickyChrome::pointerMoved(const StickyPointerEvent& event) {
  assert(loop_.isMainThread());
  if (solver_) {
    // A release the window never heard of (another program grabbed the pointer) ends
    // the resize here, so the window does not follow a pointer with no button held.
    if (!event.primaryButtonDown) {
      finishResize(event);
      return;
    }
    surface_->setCursor(cursorFor(solver_->zone));
    window_->setFrame(solver_->step(event.screenLocation).frame);
    return;
  }
  if (draggingWindow_ && !event.primaryButtonDown) endWindowDrag();
  pointerInside_ = true;
  if (onPointerMoved) onPointerMoved();

  const StickyZone zone = StickyZones::zoneAt(event.location, windowSize());
  if (isEdge(zone)) {
    surface_->setCursor(cursorFor(zone));
    if (!cursorHold_.isArmed()) scheduleCursorHold();
  } else {
    cursorHold_.cancel();
    if (isEdge(cursorZone_)) surface_->setCursor(StickyCursor::arrow);
  }
  cursorZone_ = zone;
  report(true, zone);
}

// The page may set its own pointer shape over the edges at any time; the edge's shape is
// put back at a short interval for as long as the pointer stays there.
void StickyChrome::scheduleCursorHold() {
  cursorHold_ = loop_.postAfter(cursorHoldInterval, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->holdCursor();
  });
}

void StickyChrome::holdCursor() {
  if (!pointerInside_ || isResizing() || cursorZone_ == StickyZone::interior) {
    cursorHold_.cancel();
    return;
  }
  surface_->setCursor(cursorFor(cursorZone_));
  scheduleCursorHold();
}

StickyPressOutcome StickyChrome::pointerPressed(const StickyPress& press) {
  assert(loop_.isMainThread());
  const StickyZone zone = StickyZones::zoneAt(press.location, windowSize());
  if (zone == StickyZone::interior) return pressInterior(press);
  if (press.clickCount == 2 && isCorner(zone)) {
    toggleDefaultSize();
  } else {
    beginResize(zone, press.screenLocation);
  }
  return StickyPressOutcome::handled;
}

StickyPressOutcome StickyChrome::pressInterior(const StickyPress& press) {
  if (onPointerPressed) onPointerPressed();
  const bool active = surface_->isActive();
  if (grabbable_ && (active || press.dragModifier)) beginWindowDrag();

  if (press.dragModifier) return dragWindow();
  // The first press into a window without focus brings it forward and reaches the page.
  if (!active) {
    window_->show();
    return StickyPressOutcome::toPage;
  }
  if (loop_.now() - interactiveAt_ < interactiveReportLifetime) {
    return interactiveFlag_ ? StickyPressOutcome::toPage : dragWindow();
  }
  const Size size = windowSize();
  const double belowTop = size.height - press.location.y;
  const bool inTopStrip = belowTop >= 0 && belowTop <= fallbackDragZoneHeight;
  if (inTopStrip && press.location.x < size.width - rightExclusion) return dragWindow();
  return StickyPressOutcome::toPage;
}

StickyPressOutcome StickyChrome::dragWindow() {
  window_->beginMoveDrag();
  return StickyPressOutcome::handled;
}

void StickyChrome::toggleDefaultSize() {
  const Rect frame = window_->frame();
  const Size defaultSize = StickyGeometry::defaultSize;
  Size target = defaultSize;
  const bool atDefault = std::abs(frame.width - defaultSize.width) <= 1 &&
                         std::abs(frame.height - defaultSize.height) <= 1;
  if (atDefault && sizeBeforeReset_) {
    target = *sizeBeforeReset_;
    sizeBeforeReset_.reset();
  } else {
    sizeBeforeReset_ = Size{frame.width, frame.height};
  }
  target = StickyGeometry::clamp(target, StickyGeometry::screen(frame, screens_()));
  // The top-left corner stays where it is.
  window_->setFrame({frame.x, frame.maxY() - target.height, target.width, target.height});
}

void StickyChrome::beginResize(StickyZone zone, StickyPoint screenLocation) {
  cursorHold_.cancel();
  surface_->setCursor(cursorFor(zone));
  const Rect frame = window_->frame();
  solver_ = StickyResizeSolver::begin(zone, frame, screenLocation, StickyGeometry::screen(frame, screens_()));
}

void StickyChrome::pointerReleased(const StickyPointerEvent& event) {
  assert(loop_.isMainThread());
  if (solver_) finishResize(event);
}

void StickyChrome::pointerCancelled() {
  assert(loop_.isMainThread());
  // Where the pointer went up is unknown: the window keeps the frame of the last move.
  if (solver_) endResize();
}

void StickyChrome::finishResize(const StickyPointerEvent& event) {
  window_->setFrame(solver_->step(event.screenLocation).frame);
  endResize();
}

void StickyChrome::endResize() {
  solver_.reset();
  const auto pointer = surface_->pointerLocation();
  if (!pointer) {
    // The exit was held back while resizing, and the toolkit may not repeat it.
    if (pointerInside_) pointerExited();
    return;
  }
  const StickyZone zone = StickyZones::zoneAt(*pointer, windowSize());
  surface_->setCursor(cursorFor(zone));
  cursorZone_ = zone;
  if (isEdge(zone)) scheduleCursorHold();
}

void StickyChrome::beginWindowDrag() {
  assert(loop_.isMainThread());
  if (!draggingWindow_) {
    draggingWindow_ = true;
    releaseSamples_ = 0;
    scheduleDragWatch();
  }
  surface_->setCursor(StickyCursor::closedHand);
}

void StickyChrome::endWindowDrag() {
  assert(loop_.isMainThread());
  dragWatch_.cancel();
  releaseSamples_ = 0;
  if (!draggingWindow_) return;
  draggingWindow_ = false;
  if (grabbable_ && pointerInside_) surface_->setCursor(StickyCursor::openHand);
}

// The window manager moves the window on its own; the drag ends when the button has
// been seen up twice in a row.
void StickyChrome::scheduleDragWatch() {
  dragWatch_ = loop_.postAfter(dragWatchInterval, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->watchDrag();
  });
}

void StickyChrome::watchDrag() {
  if (surface_->primaryButtonDown()) {
    releaseSamples_ = 0;
  } else if (++releaseSamples_ >= 2) {
    endWindowDrag();
    return;
  }
  scheduleDragWatch();
}

}  // namespace tovarin
