#include "widget/app/WidgetPainter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "tokens/TovarinDimensions.h"

namespace tovarin::WidgetPainter {

namespace {

constexpr const char* kFontFamily = "Noto Sans CJK SC, Noto Sans, sans-serif";

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
struct FontDescriptionFree {
  void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
struct AttrListUnref {
  void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};

void setColor(cairo_t* cr, const TovarinColorToken::Channels& color, double opacity = 1) {
  cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a * opacity);
}

void roundedRect(cairo_t* cr, double x, double y, double width, double height, double radius) {
  radius = std::min(radius, std::min(width, height) / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

std::unique_ptr<PangoLayout, GObjectUnref> textLayout(cairo_t* cr, const WidgetItem& item) {
  std::unique_ptr<PangoLayout, GObjectUnref> layout(pango_cairo_create_layout(cr));
  std::unique_ptr<PangoFontDescription, FontDescriptionFree> font(pango_font_description_from_string(kFontFamily));
  pango_font_description_set_absolute_size(font.get(), item.font.size * PANGO_SCALE);
  pango_font_description_set_weight(font.get(), static_cast<PangoWeight>(item.font.weight));
  pango_layout_set_font_description(layout.get(), font.get());

  std::unique_ptr<PangoAttrList, AttrListUnref> attributes(pango_attr_list_new());
  if (item.font.tracking > 0) {
    pango_attr_list_insert(attributes.get(),
                           pango_attr_letter_spacing_new(static_cast<int>(item.font.tracking * PANGO_SCALE)));
  }
  if (item.font.monospacedDigits) pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum=1"));
  pango_layout_set_attributes(layout.get(), attributes.get());

  pango_layout_set_width(layout.get(), static_cast<int>(item.width * PANGO_SCALE));
  pango_layout_set_alignment(layout.get(), item.centered ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
  if (item.maxLines == 1) {
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
  } else {
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_spacing(layout.get(), static_cast<int>(item.lineSpacing * PANGO_SCALE));
  }
  pango_layout_set_text(layout.get(), item.text.c_str(), -1);
  return layout;
}

// Draws the text and returns where its drawn line ends on the right.
double drawText(cairo_t* cr, const WidgetItem& item, double left) {
  if (item.text.empty() || item.width <= 0) return left;
  auto layout = textLayout(cr, item);
  double top = item.y;
  if (item.anchor == WidgetItem::Anchor::baseline) {
    top = item.baseline - pango_layout_get_baseline(layout.get()) / static_cast<double>(PANGO_SCALE);
  } else {
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    top = item.y + (item.height - logical.height) / 2;
  }
  setColor(cr, item.color, item.opacity);
  cairo_move_to(cr, left, top);
  pango_cairo_show_layout(cr, layout.get());
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
  return left + std::min<double>(logical.x + logical.width, item.width);
}

void drawCapsule(cairo_t* cr, const WidgetItem& item) {
  roundedRect(cr, item.x, item.y, item.width, item.height, item.width / 2);
  setColor(cr, item.color, item.opacity);
  cairo_fill(cr);
}

// An open ring whose gap sits near the top right, as the follow-up's mark.
void drawRing(cairo_t* cr, const WidgetItem& item) {
  double line = TovarinStroke::mark;
  double radius = std::min(item.width, item.height) / 2 - line / 2;
  double startTurn = -45.0 / 360.0 + 0.08;
  double endTurn = -45.0 / 360.0 + 1.0;
  cairo_new_path(cr);
  cairo_arc(cr, item.x + item.width / 2, item.y + item.height / 2, radius, startTurn * 2 * M_PI, endTurn * 2 * M_PI);
  cairo_set_line_width(cr, line);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColor(cr, item.color, item.opacity);
  cairo_stroke(cr);
}

void drawSquare(cairo_t* cr, const WidgetItem& item) {
  double line = TovarinStroke::mark;
  roundedRect(cr, item.x + line / 2, item.y + line / 2, item.width - line, item.height - line, TovarinRadius::mark);
  cairo_set_line_width(cr, line);
  setColor(cr, item.color, item.opacity);
  cairo_stroke(cr);
}

// A calendar page with a badge holding an exclamation mark.
void drawAlertMark(cairo_t* cr, const WidgetItem& item) {
  double s = item.width;
  double x = item.x;
  double y = item.y;
  setColor(cr, item.color, item.opacity);
  cairo_set_line_width(cr, s * 0.08);
  roundedRect(cr, x + s * 0.05, y + s * 0.15, s * 0.72, s * 0.7, s * 0.12);
  cairo_stroke(cr);
  cairo_rectangle(cr, x + s * 0.05, y + s * 0.15, s * 0.72, s * 0.16);
  cairo_fill(cr);
  for (double column : {0.25, 0.57}) {
    cairo_rectangle(cr, x + s * column, y + s * 0.05, s * 0.07, s * 0.16);
    cairo_fill(cr);
  }
  cairo_arc(cr, x + s * 0.78, y + s * 0.76, s * 0.22, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 1);
  cairo_rectangle(cr, x + s * 0.755, y + s * 0.62, s * 0.05, s * 0.17);
  cairo_fill(cr);
  cairo_rectangle(cr, x + s * 0.755, y + s * 0.83, s * 0.05, s * 0.05);
  cairo_fill(cr);
}

}  // namespace

void paint(cairo_t* cr, const WidgetLayout& layout) {
  cairo_save(cr);
  setColor(cr, layout.background);
  cairo_paint(cr);
  roundedRect(cr, 0.5, 0.5, layout.size.width - 1, layout.size.height - 1, TovarinRadius::base);
  cairo_set_line_width(cr, 1);
  setColor(cr, layout.border);
  cairo_stroke(cr);
  const WidgetItem* previousText = nullptr;
  double previousTextEnd = 0;
  for (const WidgetItem& item : layout.items) {
    switch (item.kind) {
      case WidgetItem::Kind::text: {
        double left = item.x;
        if (item.followsPreviousText && previousText) {
          double gap = item.x - (previousText->x + previousText->width);
          left = std::min(item.x, previousTextEnd + gap);
        }
        previousTextEnd = drawText(cr, item, left);
        previousText = &item;
        break;
      }
      case WidgetItem::Kind::capsule: drawCapsule(cr, item); break;
      case WidgetItem::Kind::ring: drawRing(cr, item); break;
      case WidgetItem::Kind::square: drawSquare(cr, item); break;
      case WidgetItem::Kind::alertMark: drawAlertMark(cr, item); break;
    }
  }
  cairo_restore(cr);
}

bool writePng(const WidgetLayout& layout, double scale, const std::string& path) {
  int width = static_cast<int>(std::ceil(layout.size.width * scale));
  int height = static_cast<int>(std::ceil(layout.size.height * scale));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  paint(cr, layout);
  cairo_destroy(cr);
  bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return written;
}

}  // namespace tovarin::WidgetPainter
