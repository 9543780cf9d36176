#pragma once

#include <string_view>

// The dimension, type, motion and focus-ring tokens, in points unless said otherwise.
// Plain constants: any thread.
namespace tovarin {

namespace TovarinRadius {
inline constexpr double xs = 5;
inline constexpr double sm = 8;
inline constexpr double base = 11;
inline constexpr double lg = 16;
inline constexpr double xl = 22;
inline constexpr double mark = 2;
}  // namespace TovarinRadius

namespace TovarinType {
// Font sizes.
inline constexpr double micro = 11;
inline constexpr double tiny = 12;
inline constexpr double small = 13;
inline constexpr double body = 13.5;
inline constexpr double lead = 16;
inline constexpr double title = 21;
// Letter spacing of capitals in em: a caption's tracking is its font size times this.
inline constexpr double trackingCaps = 0.085;
// The widget's day numeral: medium and large, and small.
inline constexpr double widgetDate = 28;
inline constexpr double widgetDateCompact = 24;
// Semibold, on the 100...900 weight scale shared by CSS and Pango.
inline constexpr int captionWeight = 600;
}  // namespace TovarinType

namespace TovarinSpace {
inline constexpr double xs = 4;
inline constexpr double sm = 7;
inline constexpr double md = 10;
inline constexpr double lg = 14;
inline constexpr double xl = 20;
}  // namespace TovarinSpace

namespace TovarinStroke {
inline constexpr double hairline = 0.5;
inline constexpr double mark = 1.5;
}  // namespace TovarinStroke

// Opacities of the focus ring at rest and under the pointer.
namespace TovarinRing {
inline constexpr double restAlpha = 0.45;
inline constexpr double hoverAlpha = 0.78;
}  // namespace TovarinRing

// Durations in seconds, and the one easing curve of the pages.
namespace TovarinMotion {
inline constexpr double press = 0.08;
inline constexpr double fast = 0.14;
inline constexpr double base = 0.22;
inline constexpr double slow = 0.36;
inline constexpr std::string_view easeCSS = "cubic-bezier(0.32, 0.72, 0, 1)";
}  // namespace TovarinMotion

}  // namespace tovarin
