#pragma once

// The hour summaries and the query as they were made before the faster code: the
// calendar asked for every segment's hour, every matching row made into an item, then
// two stable sorts. Tests compare the faster code's answers with these.

#include <optional>
#include <string_view>
#include <vector>

#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivityQuery.h"
#include "main/activity_core/HourSummary.h"

namespace tovarin::ActivityQueryReference {

[[nodiscard]] std::vector<HourSummary> summaries(const std::vector<ActivityInterval>& intervals,
                                                 const Calendar& calendar,
                                                 std::optional<DateInterval> window = std::nullopt,
                                                 std::optional<std::size_t> rowLimit = std::nullopt);

[[nodiscard]] std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args,
                                                     const std::vector<ActivityInterval>& intervals, double now,
                                                     const Calendar& calendar, const ActivityQuery::ItemId& itemId);

// A stored interval read through the general JSON parser.
[[nodiscard]] std::optional<ActivityInterval> decode(std::string_view text);

}  // namespace tovarin::ActivityQueryReference
