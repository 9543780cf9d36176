#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tokens/TovarinColorToken.h"
#include "widget/CalendarEntry.h"
#include "widget/WidgetFamily.h"
#include "widget/WidgetRow.h"

namespace tovarin {

struct WidgetFont {
  double size = 12;
  int weight = 400;  // 100...900
  bool rounded = false;
  bool monospacedDigits = false;
  double tracking = 0;  // extra space between letters, in points

  bool operator==(const WidgetFont&) const = default;
};

// One thing to draw, in logical pixels from the widget's top-left corner.
struct WidgetItem {
  enum class Kind {
    text,
    capsule,    // a filled pill
    ring,       // the follow-up mark: an open circle, its gap near the top
    square,     // the due-task mark: a rounded square outline
    alertMark,  // the failure symbol: a calendar with an exclamation mark
  };
  // How a text sits in its box: its line box vertically centred, or its first
  // baseline at `baseline`.
  enum class Anchor { center, baseline };

  Kind kind = Kind::text;
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  std::string text;
  WidgetFont font;
  TovarinColorToken::Channels color;
  double opacity = 1;
  int maxLines = 1;  // 0: as many as the text needs
  bool centered = false;  // centred lines
  double lineSpacing = 0;
  Anchor anchor = Anchor::center;
  double baseline = 0;
  // Drawn right after the text before it, with the gap the layout leaves between their
  // boxes, once that text is measured: a short title keeps its tag beside it. `x` is
  // the furthest right it can stand.
  bool followsPreviousText = false;
  std::string rowId;  // the list row it belongs to, if any
  std::string role;   // "dayNumber", "weekday", "summary", "time", "title", "overdue", "caption", "empty", "hint"...

  bool operator==(const WidgetItem&) const = default;
};

// A region that opens a link when clicked.
struct WidgetLink {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  std::string url;
  std::string rowId;
};

// The whole picture of one entry in one family, decided without drawing: the rows,
// every text with its font and colour, every mark, and where each link is. The
// drawing only follows it. Colours are resolved for one appearance.
struct WidgetLayout {
  WidgetFamily family = WidgetFamily::small;
  WidgetSize size;
  TovarinColorToken::Scheme scheme = TovarinColorToken::Scheme::light;
  TovarinColorToken::Channels background;
  TovarinColorToken::Channels border;
  std::optional<FeedFailure> failure;
  int budget = 0;
  std::vector<WidgetRow> rows;
  std::vector<WidgetItem> items;
  std::vector<WidgetLink> links;  // the rows' links; the rest of the widget opens WidgetRoute::app

  // The link under a point: a row's own link, else the whole widget's.
  [[nodiscard]] std::string linkAt(double x, double y) const;
  [[nodiscard]] const WidgetItem* find(const std::string& role, const std::string& rowId = {}) const;

  [[nodiscard]] static WidgetLayout make(const CalendarEntry& entry, WidgetFamily family, WidgetSize size,
                                         TovarinColorToken::Scheme scheme, const Calendar& device);
};

}  // namespace tovarin
