#include "widget/WidgetLayout.h"

#include <algorithm>
#include <cmath>

#include "tokens/TovarinColors.h"
#include "tokens/TovarinDimensions.h"
#include "widget/WidgetList.h"
#include "widget/WidgetRoute.h"

namespace tovarin {

namespace {

// The widget is its own host here, so its content keeps the 12-point inset the
// platform's container would otherwise give it.
constexpr double kPadding = 12;
// Line box height and ascent per point of font size, close to the Noto fonts' metrics.
constexpr double kLineFactor = 1.3;
constexpr double kAscentFactor = 1.0;
constexpr double kDescentFactor = 0.3;
constexpr double kDigitWidthFactor = 0.62;
constexpr double kMediumHeaderWidth = 74;
constexpr double kMediumHeaderGap = 14;
constexpr double kOverdueWidth = 36;
constexpr double kHintSymbolSize = 21;

using Scheme = TovarinColorToken::Scheme;

double lineHeight(double size) { return std::ceil(size * kLineFactor); }

// A rough width of a text, for deciding how many lines a wrapped hint takes: wide
// characters take a full em, others a little over half.
double estimatedWidth(const std::string& text, double size) {
  double width = 0;
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    width += length >= 3 ? size : size * 0.55;
    i += length;
  }
  return width;
}

class LayoutBuilder {
 public:
  LayoutBuilder(const CalendarEntry& entry, WidgetFamily family, WidgetSize size, Scheme scheme, const Calendar& device)
      : entry_(entry), list_(entry, family, device), scheme_(scheme), compact_(family == WidgetFamily::small) {
    layout_.family = family;
    layout_.size = size;
    layout_.scheme = scheme;
    layout_.background = color(TovarinGround::surface);
    layout_.border = color(TovarinLine::border);
    left_ = kPadding;
    top_ = kPadding;
    width_ = std::max(0.0, size.width - 2 * kPadding);
    bottom_ = std::max(top_, size.height - kPadding);
  }

  WidgetLayout build() {
    if (entry_.failure) {
      layout_.failure = entry_.failure;
      offlineHint(*entry_.failure);
    } else if (layout_.family == WidgetFamily::medium) {
      mediumBody();
    } else {
      stackedBody();
    }
    return std::move(layout_);
  }

 private:
  TovarinColorToken::Channels color(const TovarinColorToken& token) const { return token.channels(scheme_); }

  WidgetItem& text(std::string role, std::string content, WidgetFont font, const TovarinColorToken& tone, double x,
                   double y, double width, double height) {
    WidgetItem item;
    item.kind = WidgetItem::Kind::text;
    item.role = std::move(role);
    item.text = std::move(content);
    item.font = font;
    item.color = color(tone);
    item.x = x, item.y = y, item.width = std::max(0.0, width), item.height = height;
    layout_.items.push_back(std::move(item));
    return layout_.items.back();
  }

  void anchorOnBaseline(WidgetItem& item, double baseline) {
    item.anchor = WidgetItem::Anchor::baseline;
    item.baseline = baseline;
  }

  // Small and large: the header in one row, the list below it.
  void stackedBody() {
    double spacing = list_.metrics().listSpacing();
    double headerBottom = rowHeader(compact_ ? TovarinType::widgetDateCompact : TovarinType::widgetDate);
    double listTop = headerBottom + spacing;
    listFor(left_, listTop, width_, bottom_ - listTop);
  }

  // Medium: the header stacked in a column of its own, the list beside it.
  void mediumBody() {
    stackedHeader();
    double listLeft = left_ + kMediumHeaderWidth + kMediumHeaderGap;
    listFor(listLeft, top_, left_ + width_ - listLeft, bottom_ - top_);
  }

  WidgetFont dayNumberFont(double size) const { return {size, 600, true, false, 0}; }

  // The day number with the weekday above the summary, on the day number's baseline.
  double rowHeader(double dateSize) {
    auto day = list_.zone().fields(entry_.date);
    std::string number = day ? std::to_string(day->day) : "";
    double numberWidth = std::ceil(dateSize * kDigitWidthFactor * static_cast<double>(number.size()));
    double baseline = top_ + dateSize * kAscentFactor;
    auto& dayNumber = text("dayNumber", number, dayNumberFont(dateSize), TovarinInk::primary, left_, top_,
                           numberWidth, lineHeight(dateSize));
    anchorOnBaseline(dayNumber, baseline);

    double columnLeft = left_ + numberWidth + 6;
    double columnWidth = left_ + width_ - columnLeft;
    auto& weekday = text("weekday", WidgetList::weekday(entry_.date, list_.zone()), {TovarinType::tiny, 500},
                         TovarinInk::primary, columnLeft, baseline - TovarinType::tiny * kAscentFactor, columnWidth,
                         lineHeight(TovarinType::tiny));
    anchorOnBaseline(weekday, baseline);
    double summaryBaseline = baseline + TovarinType::tiny * kDescentFactor + TovarinType::micro * kAscentFactor;
    auto& summary = text("summary", headerSummary(), {TovarinType::micro, 400}, TovarinInk::muted, columnLeft,
                         summaryBaseline - TovarinType::micro * kAscentFactor, columnWidth,
                         lineHeight(TovarinType::micro));
    anchorOnBaseline(summary, summaryBaseline);
    return std::max(top_ + lineHeight(dateSize), std::ceil(summaryBaseline + TovarinType::micro * kDescentFactor));
  }

  void stackedHeader() {
    double y = top_;
    auto day = list_.zone().fields(entry_.date);
    double numberHeight = lineHeight(TovarinType::widgetDate);
    text("dayNumber", day ? std::to_string(day->day) : "", dayNumberFont(TovarinType::widgetDate),
         TovarinInk::primary, left_, y, kMediumHeaderWidth, numberHeight);
    y += numberHeight + 1;
    text("weekday", WidgetList::weekday(entry_.date, list_.zone()), {TovarinType::tiny, 500}, TovarinInk::primary,
         left_, y, kMediumHeaderWidth, lineHeight(TovarinType::tiny));
    y += lineHeight(TovarinType::tiny) + 1;
    text("summary", headerSummary(), {TovarinType::micro, 400}, TovarinInk::muted, left_, y, kMediumHeaderWidth,
         lineHeight(TovarinType::micro));
  }

  std::string headerSummary() const { return WidgetList::summary(entry_.date, list_.headerCount(), list_.zone()); }

  void listFor(double x, double y, double width, double height) {
    layout_.budget = list_.budget(height);
    layout_.rows = list_.rows(layout_.budget);
    if (layout_.rows.empty()) {
      text("empty", list_.emptyText(), {TovarinType::small, 400}, TovarinInk::muted, x, y, width,
           lineHeight(TovarinType::small));
      return;
    }
    WidgetMetrics metrics = list_.metrics();
    double rowHeight = metrics.rowPitch() - metrics.rowSpacing();
    for (std::size_t i = 0; i < layout_.rows.size(); ++i) {
      render(layout_.rows[i], x, y + static_cast<double>(i) * metrics.rowPitch(), width, rowHeight);
    }
  }

  void render(const WidgetRow& row, double x, double y, double width, double height) {
    switch (row.kind) {
      case WidgetRow::Kind::dayLabel:
      case WidgetRow::Kind::section:
        return caption(row, row.text, x, y, width, height);
      case WidgetRow::Kind::more:
        return caption(row, "还有 " + std::to_string(row.hidden) + " 项", x, y, width, height);
      case WidgetRow::Kind::event:
        eventRow(row, x, y, width, height);
        return linked(WidgetRoute::agenda, row, x, y, width, height);
      case WidgetRow::Kind::task:
        taskRow(row, x, y, width, height);
        return linked(WidgetRoute::tasks, row, x, y, width, height);
    }
  }

  void caption(const WidgetRow& row, const std::string& content, double x, double y, double width, double height) {
    WidgetFont font{TovarinType::micro, TovarinType::captionWeight, false, false,
                    TovarinType::micro * TovarinType::trackingCaps};
    text("caption", content, font, TovarinInk::faint, x, y, width, height).rowId = row.id();
  }

  // A small widget opens only the whole widget's link.
  void linked(const char* url, const WidgetRow& row, double x, double y, double width, double height) {
    if (compact_) return;
    layout_.links.push_back({x, y, width, height, url, row.id()});
  }

  TovarinColorToken::Channels eventColor(const Occurrence& occurrence) const {
    auto found = entry_.colors.find(occurrence.calendarId);
    return found != entry_.colors.end() ? found->second : color(TovarinAccent::base);
  }

  void eventRow(const WidgetRow& row, double x, double y, double width, double height) {
    const Occurrence& occurrence = row.occurrence;
    WidgetItem capsule;
    capsule.kind = WidgetItem::Kind::capsule;
    capsule.role = "capsule";
    capsule.rowId = row.id();
    capsule.width = 3;
    capsule.height = compact_ ? 12 : 15;
    capsule.x = x;
    capsule.y = y + (height - capsule.height) / 2;
    capsule.color = eventColor(occurrence);
    layout_.items.push_back(capsule);

    double timeLeft = x + 3 + 7;
    text("time", occurrence.timeText(), {TovarinType::micro, 400, true, true}, TovarinInk::faint, timeLeft, y, 34,
         height)
        .rowId = row.id();
    double titleLeft = timeLeft + 34 + 7;
    text("title", occurrence.title, {TovarinType::tiny, 400}, TovarinInk::primary, titleLeft, y,
         x + width - titleLeft, height)
        .rowId = row.id();
  }

  void taskRow(const WidgetRow& row, double x, double y, double width, double height) {
    bool followUp = row.task.kind == WidgetTask::Kind::followUp;
    WidgetItem mark;
    mark.kind = followUp ? WidgetItem::Kind::ring : WidgetItem::Kind::square;
    mark.role = "mark";
    mark.rowId = row.id();
    mark.width = mark.height = compact_ ? 9 : 10;
    mark.x = x;
    mark.y = y + (height - mark.height) / 2;
    if (followUp) {
      mark.color = color(TovarinSignal::warning);
    } else {
      mark.color = color(row.overdue ? TovarinSignal::danger : TovarinInk::faint);
      mark.opacity = row.overdue ? 0.6 : 0.7;
    }
    layout_.items.push_back(mark);

    double spacing = compact_ ? 6 : 8;
    double titleLeft = x + mark.width + spacing;
    double titleRight = x + width - (row.overdue ? kOverdueWidth + spacing : 0);
    text("title", row.task.title, {TovarinType::tiny, 400}, TovarinInk::primary, titleLeft, y, titleRight - titleLeft,
         height)
        .rowId = row.id();
    if (row.overdue) {
      auto& overdue = text("overdue", "已过期", {TovarinType::micro, 500}, TovarinSignal::danger, titleRight + spacing,
                           y, kOverdueWidth, height);
      overdue.rowId = row.id();
      overdue.followsPreviousText = true;
    }
  }

  void offlineHint(FeedFailure failure) {
    double hintWidth = std::max(0.0, width_ - 8);
    std::string content(hint(failure));
    double lines = std::max(1.0, std::ceil(estimatedWidth(content, TovarinType::micro) / std::max(1.0, hintWidth)));
    double hintHeight = lines * lineHeight(TovarinType::micro) + (lines - 1) * 2;
    double symbolHeight = lineHeight(TovarinType::title);
    double total = symbolHeight + 6 + hintHeight;
    double y = top_ + std::max(0.0, (bottom_ - top_ - total) / 2);

    WidgetItem symbol;
    symbol.kind = WidgetItem::Kind::alertMark;
    symbol.role = "symbol";
    symbol.width = symbol.height = TovarinType::title;
    symbol.x = left_ + (width_ - symbol.width) / 2;
    symbol.y = y + (symbolHeight - symbol.height) / 2;
    symbol.color = color(TovarinInk::faint);
    layout_.items.push_back(symbol);

    auto& hintText = text("hint", content, {TovarinType::micro, 400}, TovarinInk::muted, left_ + 4,
                          y + symbolHeight + 6, hintWidth, hintHeight);
    hintText.maxLines = 0;
    hintText.centered = true;
    hintText.lineSpacing = 2;
  }

  const CalendarEntry& entry_;
  WidgetList list_;
  Scheme scheme_;
  bool compact_;
  WidgetLayout layout_;
  double left_ = 0;
  double top_ = 0;
  double width_ = 0;
  double bottom_ = 0;
};

}  // namespace

std::string WidgetLayout::linkAt(double x, double y) const {
  for (const WidgetLink& link : links) {
    if (x >= link.x && x < link.x + link.width && y >= link.y && y < link.y + link.height) return link.url;
  }
  return WidgetRoute::app;
}

const WidgetItem* WidgetLayout::find(const std::string& role, const std::string& rowId) const {
  for (const WidgetItem& item : items) {
    if (item.role == role && (rowId.empty() || item.rowId == rowId)) return &item;
  }
  return nullptr;
}

WidgetLayout WidgetLayout::make(const CalendarEntry& entry, WidgetFamily family, WidgetSize size, Scheme scheme,
                                const Calendar& device) {
  return LayoutBuilder(entry, family, size, scheme, device).build();
}

}  // namespace tovarin
