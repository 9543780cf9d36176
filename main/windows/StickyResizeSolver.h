#pragma once

#include <optional>

#include "main/page/Window.h"
#include "main/windows/StickyPoint.h"
#include "main/windows/StickyZone.h"

namespace tovarin {

// The state of one app-driven resize drag of the sticky window: the frame follows the
// pointer from the zone that was grabbed, within the size limits, and the edges
// opposite the grabbed ones stay where they were. Pure value; main thread.
struct StickyResizeSolver {
  struct Limit {
    Size min;
    Size max;
  };
  struct Step {
    Rect frame;
    bool clampedX = false;  // a side was held back by a limit
    bool clampedY = false;  // the top or bottom was held back by a limit
  };

  // Starts a drag of `zone` from `frame` with the pointer at `mouse` on `screen` (the
  // screen the window is on): the limits follow that screen's visible frame, and the
  // top may not rise above it.
  [[nodiscard]] static StickyResizeSolver begin(StickyZone zone, const Rect& frame, StickyPoint mouse,
                                                const std::optional<Screen>& screen);

  // The frame for the pointer at `mouse`. When a limit holds an axis back, that axis is
  // measured afresh from here, so turning back resizes at once, with no dead travel.
  [[nodiscard]] Step step(StickyPoint mouse);

  StickyZone zone = StickyZone::interior;
  Limit limit;
  std::optional<Rect> room;  // the area the window may grow into; none means unbounded
  Rect anchorFrame;
  StickyPoint anchorMouse;
};

}  // namespace tovarin
