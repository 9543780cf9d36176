#pragma once

#include <string>
#include <vector>

#include "widget/CalendarEntry.h"
#include "widget/WidgetFamily.h"
#include "widget/WidgetMetrics.h"
#include "widget/WidgetRow.h"

namespace tovarin {

// What fits into the widget's list for one entry and family: the occurrences still to
// come, the tasks visible today, the row budget of a height, the rows with their day
// labels and sections, and the header's texts. Pure; "today" is the entry's date in
// the entry's zone. Recomputed on every drawing, never cached.
class WidgetList final {
 public:
  WidgetList(const CalendarEntry& entry, WidgetFamily family, const Calendar& device);

  [[nodiscard]] const std::string& today() const { return today_; }
  [[nodiscard]] const Calendar& zone() const { return zone_; }
  [[nodiscard]] WidgetMetrics metrics() const { return WidgetMetrics{family_ == WidgetFamily::small}; }

  [[nodiscard]] std::vector<Occurrence> upcoming() const;
  [[nodiscard]] std::vector<WidgetTask> visibleTasks() const;
  [[nodiscard]] int headerCount() const;
  [[nodiscard]] int budget(double height) const;
  [[nodiscard]] std::vector<WidgetRow> rows(int budget) const;
  [[nodiscard]] std::string dayLabel(const std::string& key) const;
  // What the list shows when rows() gives none.
  [[nodiscard]] std::string emptyText() const;

  // "周日" ... "周六" of `date` in the zone.
  [[nodiscard]] static std::string weekday(double date, const Calendar& zone);
  // "3月 · 空闲" or "3月 · 2 项".
  [[nodiscard]] static std::string summary(double date, int count, const Calendar& zone);

 private:
  struct LaidEvents {
    std::vector<WidgetRow> rows;
    int events = 0;
  };
  [[nodiscard]] LaidEvents layEvents(const std::vector<Occurrence>& upcoming, int limit) const;
  [[nodiscard]] bool staysUpcoming(const Occurrence& occurrence) const;

  CalendarEntry entry_;
  WidgetFamily family_;
  Calendar zone_;
  std::string today_;
};

}  // namespace tovarin
