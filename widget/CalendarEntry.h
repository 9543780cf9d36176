#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "widget/CalendarFeed.h"

namespace tovarin {

// One picture of the widget: the data of one fetch, shown from `date` on. The entries
// of one timeline differ only in their date. A value: any thread.
struct CalendarEntry {
  double date = 0;  // seconds since 1970
  std::optional<std::string> accountEpoch;
  std::optional<std::string> zoneId;
  std::vector<Occurrence> occurrences;
  CalendarColors colors;
  std::vector<WidgetTask> tasks;
  std::optional<FeedFailure> failure;

  [[nodiscard]] bool offline() const { return failure.has_value(); }
  // The account's zone when the entry names one the calendar knows, else the device's.
  [[nodiscard]] Calendar timeZone(const Calendar& device) const;
  [[nodiscard]] CalendarEntry at(double newDate) const;

  // The entry for a fetch made at `now`, whatever its outcome.
  [[nodiscard]] static CalendarEntry fromFeed(FeedResult result, double now);
  // The sample shown while the widget is being chosen: three meetings today, a
  // follow-up and a due task, in the seed calendars' colours.
  [[nodiscard]] static CalendarEntry placeholder(double now, const Calendar& device);

  bool operator==(const CalendarEntry&) const = default;
};

}  // namespace tovarin
