#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/page/Window.h"

namespace tovarin {

// Keeps windows where the user can reach them: restores a saved frame only when it
// still shows enough of itself on one screen, and pulls an unreachable window back.
// Main thread (the frame texts and the reachability rule are pure).
//
// A saved frame is the text "{{x, y}, {w, h}}": the origin and size in desktop points
// (y up, origin at the bottom-left of the primary screen), each number in its shortest
// decimal form with a dot, never an exponent ("{{130, 75.5}, {1180, 780}}").
namespace FrameGuard {

// A reachable frame shows at least this much of itself on one screen's visible area
// (or all of itself in a dimension where it is smaller).
inline constexpr double minimumVisibleWidth = 90;
inline constexpr double minimumVisibleHeight = 50;

[[nodiscard]] std::string frameString(const Rect& frame);
// The rectangle of a frame text; a text that does not parse gives the zero rectangle,
// which is never reachable.
[[nodiscard]] Rect parseFrame(std::string_view text);

[[nodiscard]] bool isReachable(const Rect& frame, const std::vector<Screen>& screens);

// Sets the window's frame to the saved one when that is reachable; true when it did.
[[nodiscard]] bool restore(Window& window, const std::optional<std::string>& saved, const std::vector<Screen>& screens);

// Moves (and if need be shrinks) an unreachable window onto its screen's visible area:
// the screen it overlaps most, else the primary one. A reachable window stays put.
void nudgeOnScreen(Window& window, const std::vector<Screen>& screens);

}  // namespace FrameGuard
}  // namespace tovarin
