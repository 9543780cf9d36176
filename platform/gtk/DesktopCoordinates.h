#pragma once

#include <vector>

#include "main/page/Window.h"

namespace tovarin::desktop_coordinates {

// A rectangle as GTK places windows: whole pixels, y growing downwards from the top
// of the virtual screen.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect&) const = default;
};

// The one conversion between GTK's placement and the desktop rectangles of the core
// (y up, origin at the bottom-left corner of the primary screen). primary is the
// primary monitor's geometry in GTK's placement.
Rect toDesktop(const PixelRect& placed, const PixelRect& primary);
PixelRect toPixels(const Rect& frame, const PixelRect& primary);

// The display's monitors as screens, the primary one first (the first monitor when the
// display names none); visible frames come from the monitors' work areas. Needs GTK.
std::vector<Screen> currentScreens();
// The primary monitor's geometry in GTK's placement; empty without a display.
PixelRect primaryGeometry();

}  // namespace tovarin::desktop_coordinates
