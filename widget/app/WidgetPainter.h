#pragma once

#include <string>

#include "widget/WidgetLayout.h"

typedef struct _cairo cairo_t;

namespace tovarin {

// Draws a WidgetLayout with cairo and pango, in logical pixels: the caller scales the
// context for the screen. Holds nothing; any thread that owns the cairo context.
namespace WidgetPainter {

void paint(cairo_t* cr, const WidgetLayout& layout);

// Draws into a new image of size × scale pixels and writes it as PNG; false when the
// file cannot be written.
[[nodiscard]] bool writePng(const WidgetLayout& layout, double scale, const std::string& path);

}  // namespace WidgetPainter
}  // namespace tovarin
