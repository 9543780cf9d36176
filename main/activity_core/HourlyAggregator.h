#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "base/Calendar.h"
#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/HourSummary.h"

// Cuts recorded intervals at the calendar's hour boundaries and folds them into one
// summary per hour, one row per app id, title and domain. Pure; any thread.
namespace tovarin::HourlyAggregator {

// The row limit of the stored summaries.
inline constexpr std::size_t storedRowsPerHour = 10;

// Ascending by hour start; hours without time get no summary. With a window only the
// time inside it counts; with a row limit each hour keeps its longest rows.
[[nodiscard]] std::vector<HourSummary> summaries(const std::vector<ActivityInterval>& intervals,
                                                 const Calendar& calendar,
                                                 std::optional<DateInterval> window = std::nullopt,
                                                 std::optional<std::size_t> rowLimit = std::nullopt);

// Longer first, then app name, title and domain (absent as empty) in Unicode scalar
// order, canonically equivalent texts equal.
[[nodiscard]] bool rowOrder(const HourRow& a, const HourRow& b);

}  // namespace tovarin::HourlyAggregator
