#pragma once

#include <optional>
#include <vector>

#include "main/page/Window.h"

namespace tovarin {

// Size limits and screen choice of the sticky window. Pure; any thread.
namespace StickyGeometry {

// Width of the resize band along each edge, and side of the resize square at each corner.
inline constexpr double edge = 8;
inline constexpr double corner = 14;
inline constexpr Size defaultSize{340, 460};
inline constexpr Size minSize{300, 360};
inline constexpr Size maxSize{620, 1200};

// The screen holding the largest part of `frame`; ties go to the screen listed first.
// When the frame is on no screen, the primary screen (the first listed), if any.
[[nodiscard]] std::optional<Screen> screen(const Rect& frame, const std::vector<Screen>& screens);

// The largest size the window may take on `screen`: its visible size held between the
// minimum and the maximum, so a screen smaller than the minimum still allows it.
[[nodiscard]] Size largestSize(const std::optional<Screen>& screen);

// `size` held between the minimum and largestSize(screen). A size that is not a finite
// number reads as the minimum.
[[nodiscard]] Size clamp(Size size, const std::optional<Screen>& screen);

}  // namespace StickyGeometry
}  // namespace tovarin
