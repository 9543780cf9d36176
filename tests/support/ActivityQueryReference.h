#pragma once

// The query as it was answered before items were made only for the rows kept:
// straightforward, every matching row made into an item, then two stable sorts.
// Tests compare the answers of the faster code with this one's.

#include <optional>
#include <string_view>
#include <vector>

#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivityQuery.h"

namespace tovarin::ActivityQueryReference {

[[nodiscard]] std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args,
                                                     const std::vector<ActivityInterval>& intervals, double now,
                                                     const Calendar& calendar, const ActivityQuery::ItemId& itemId);

// A stored interval read through the general JSON parser.
[[nodiscard]] std::optional<ActivityInterval> decode(std::string_view text);

}  // namespace tovarin::ActivityQueryReference
