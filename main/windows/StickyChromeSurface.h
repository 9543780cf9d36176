#pragma once

#include <memory>
#include <optional>

#include "main/page/WebView.h"
#include "main/page/Window.h"
#include "main/windows/StickyPoint.h"

namespace tovarin {

// The pointer shapes the sticky window shows: the arrow, one resize shape per edge and
// corner, and the hands of a window drag.
enum class StickyCursor {
  arrow,
  resizeTop,
  resizeBottom,
  resizeLeft,
  resizeRight,
  resizeTopLeft,
  resizeTopRight,
  resizeBottomLeft,
  resizeBottomRight,
  openHand,
  closedHand,
};

// A pointer position over the sticky window.
struct StickyPointerEvent {
  StickyPoint location;        // in the window: points from its bottom-left corner, y up
  StickyPoint screenLocation;  // on the desktop, in the coordinates of Rect
  bool primaryButtonDown = false;
};

// A press of the primary button over the sticky window.
struct StickyPress {
  StickyPoint location;
  StickyPoint screenLocation;
  int clickCount = 1;
  // The key that drags the window from anywhere in the page (Alt on this desktop).
  bool dragModifier = false;
};

enum class StickyPressOutcome {
  toPage,   // the page receives the press as usual
  handled,  // the window took it (a resize or a window drag); the page never sees it
};

// Receives the pointer over the sticky window on the main thread, before the page
// does. After a press answered `handled`, every motion until the release comes here
// and not to the page.
class StickyChromeSurfaceClient {
 public:
  virtual ~StickyChromeSurfaceClient() = default;
  virtual void pointerEntered(const StickyPointerEvent& event) = 0;
  virtual void pointerExited() = 0;
  virtual void pointerMoved(const StickyPointerEvent& event) = 0;
  [[nodiscard]] virtual StickyPressOutcome pointerPressed(const StickyPress& press) = 0;
  virtual void pointerReleased(const StickyPointerEvent& event) = 0;
  // The press ended without a release the window could see (the pointer was grabbed away).
  virtual void pointerCancelled() = 0;
};

// What the sticky window's chrome needs of the desktop beyond the Window seam: the
// pointer over the window before the page sees it, the pointer shape, and the border
// ring. Main thread only.
class StickyChromeSurface {
 public:
  virtual ~StickyChromeSurface() = default;
  // The client is held weakly; events after it is gone are dropped.
  virtual void setClient(std::weak_ptr<StickyChromeSurfaceClient> client) = 0;
  virtual void setCursor(StickyCursor cursor) = 0;
  // Whether the primary button is held now, wherever the pointer is.
  [[nodiscard]] virtual bool primaryButtonDown() const = 0;
  // The pointer now, in window points, when it is over the window.
  [[nodiscard]] virtual std::optional<StickyPoint> pointerLocation() const = 0;
  // Whether the window has the keyboard focus.
  [[nodiscard]] virtual bool isActive() const = 0;
  // The border ring shows the hover emphasis (the pointer is inside) or rests.
  virtual void setRingEmphasized(bool emphasized) = 0;
};

// Attaches a chrome surface to a window made by the desktop, once the window holds its
// web view (the surface sees the pointer over that content). Main thread only.
class StickyChromeSurfaceProvider {
 public:
  virtual ~StickyChromeSurfaceProvider() = default;
  [[nodiscard]] virtual std::shared_ptr<StickyChromeSurface> attach(Window& window, WebView& content) = 0;
};

}  // namespace tovarin
