#include "tests/support/FakeStickyChromeSurface.h"

namespace tovarin {

void FakeStickyChromeSurface::enter(StickyPoint location) {
  pointer_ = location;
  if (auto c = client()) c->pointerEntered({location, location, buttonDown_});
}

void FakeStickyChromeSurface::exit() {
  pointer_.reset();
  if (auto c = client()) c->pointerExited();
}

void FakeStickyChromeSurface::move(StickyPoint location, std::optional<StickyPoint> screenLocation) {
  pointer_ = location;
  if (auto c = client()) c->pointerMoved({location, screenLocation.value_or(location), buttonDown_});
}

StickyPressOutcome FakeStickyChromeSurface::press(StickyPoint location, int clickCount, bool dragModifier,
                                                  std::optional<StickyPoint> screenLocation) {
  pointer_ = location;
  buttonDown_ = true;
  auto c = client();
  if (!c) return StickyPressOutcome::toPage;
  return c->pointerPressed({location, screenLocation.value_or(location), clickCount, dragModifier});
}

void FakeStickyChromeSurface::release(StickyPoint location, std::optional<StickyPoint> screenLocation) {
  pointer_ = location;
  buttonDown_ = false;
  if (auto c = client()) c->pointerReleased({location, screenLocation.value_or(location), false});
}

void FakeStickyChromeSurface::releaseOutside(StickyPoint location, StickyPoint screenLocation) {
  pointer_.reset();
  buttonDown_ = false;
  if (auto c = client()) c->pointerReleased({location, screenLocation, false});
}

void FakeStickyChromeSurface::cancel() {
  buttonDown_ = false;
  if (auto c = client()) c->pointerCancelled();
}

std::shared_ptr<StickyChromeSurface> FakeStickyChromeSurfaceProvider::attach(Window& window, WebView& content) {
  auto surface = std::make_shared<FakeStickyChromeSurface>();
  made_.push_back(surface);
  windows_.push_back(&window);
  contents_.push_back(&content);
  return surface;
}

}  // namespace tovarin
