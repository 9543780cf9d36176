#include "platform/gtk/DesktopCoordinates.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

namespace tovarin::desktop_coordinates {

namespace {

// Far beyond any real desktop, and far from int overflow in the sums below.
constexpr double kLimit = 1e8;

int toPixel(double value, double low = -kLimit) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::lround(std::clamp(value, low, kLimit)));
}

PixelRect pixels(const GdkRectangle& rectangle) {
  return {rectangle.x, rectangle.y, rectangle.width, rectangle.height};
}

GdkMonitor* primaryMonitor(GdkDisplay* display) {
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  if (!primary && gdk_display_get_n_monitors(display) > 0) primary = gdk_display_get_monitor(display, 0);
  return primary;
}

}  // namespace

Rect toDesktop(const PixelRect& placed, const PixelRect& primary) {
  return {double(placed.x - primary.x), double((primary.y + primary.height) - (placed.y + placed.height)),
          double(placed.width), double(placed.height)};
}

PixelRect toPixels(const Rect& frame, const PixelRect& primary) {
  const int width = toPixel(frame.width, 0);
  const int height = toPixel(frame.height, 0);
  return {toPixel(frame.x) + primary.x, primary.y + primary.height - (toPixel(frame.y) + height), width, height};
}

PixelRect primaryGeometry() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* primary = display ? primaryMonitor(display) : nullptr;
  if (!primary) return {};
  GdkRectangle geometry;
  gdk_monitor_get_geometry(primary, &geometry);
  return pixels(geometry);
}

std::vector<Screen> currentScreens() {
  std::vector<Screen> screens;
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return screens;
  GdkMonitor* primary = primaryMonitor(display);
  if (!primary) return screens;
  const PixelRect origin = primaryGeometry();
  auto screenOf = [&](GdkMonitor* monitor) {
    GdkRectangle geometry;
    GdkRectangle workarea;
    gdk_monitor_get_geometry(monitor, &geometry);
    gdk_monitor_get_workarea(monitor, &workarea);
    return Screen{toDesktop(pixels(geometry), origin), toDesktop(pixels(workarea), origin)};
  };
  screens.push_back(screenOf(primary));
  const int count = gdk_display_get_n_monitors(display);
  for (int i = 0; i < count; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    if (monitor && monitor != primary) screens.push_back(screenOf(monitor));
  }
  return screens;
}

}  // namespace tovarin::desktop_coordinates
