#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Calendar.h"
#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivityQueryArgs.h"
#include "main/activity_core/ActivityQueryResult.h"
#include "main/activity_core/HourRow.h"

// Answers the local server's queries over the recorded intervals. Pure; any thread.
namespace tovarin::ActivityQuery {

inline constexpr std::size_t maxItems = 50;
inline constexpr int maxRangeDays = 400;
inline constexpr std::size_t appMax = 120;   // UTF-16 units
inline constexpr std::size_t textMax = 200;  // UTF-16 units
inline constexpr std::size_t titleMax = 400; // UTF-16 units of a title that may be answered

using ItemId = std::function<std::string(const std::string& rowKey)>;

// Whole local days from the start of `from` to the end of `to`; none for invalid
// arguments.
[[nodiscard]] std::optional<DateInterval> window(const ActivityQueryArgs& args, const Calendar& calendar);

// At most maxItems items; none for invalid arguments.
[[nodiscard]] std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args,
                                                     const std::vector<ActivityInterval>& intervals, double now,
                                                     const Calendar& calendar, const ItemId& itemId);

// "item", the hour start as a whole number, app id, title and domain, joined by U+001F.
[[nodiscard]] std::string rowKey(double hourStart, const HourRow& row);
// YYYY-MM-DDTHH:MM in the calendar's zone.
[[nodiscard]] std::string wallClock(double time, const Calendar& calendar);
[[nodiscard]] bool isWallClock(std::string_view text);

// A YYYY-MM-DD text of ASCII digits naming a real day.
[[nodiscard]] std::optional<CivilFields> day(std::string_view text, const Calendar& calendar);
// Days from 1970-01-01 in the proleptic Gregorian calendar.
[[nodiscard]] int64_t dayNumber(int64_t year, int64_t month, int64_t day);

}  // namespace tovarin::ActivityQuery
