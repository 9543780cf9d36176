#pragma once

namespace tovarin {

// A point in desktop points with y growing upwards: in a window, from its bottom-left
// corner; on the desktop, in the coordinates of Rect.
struct StickyPoint {
  double x = 0;
  double y = 0;
  bool operator==(const StickyPoint&) const = default;
};

}  // namespace tovarin
