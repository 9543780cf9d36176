#pragma once

#include <vector>

#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivityQueryArgs.h"

namespace tovarin {

// A deterministic record of `days` days from `start` of the kinds of rows that make a
// query's answer subtle: texts in and beyond ASCII, canonically equivalent spellings,
// escapes and control characters in titles, app ids differing only in case, an app
// renamed under one id, absent, empty and non-ASCII domains, rows under 30 seconds,
// titles just within and beyond the answerable length, fractional seconds, and
// intervals across hour boundaries. Sorted by start, then id, as the store reads them.
[[nodiscard]] std::vector<ActivityInterval> activitySampleRecord(double start, int days);

// Nine days from Monday 2026-03-23 in Berlin, whose clocks move forward on the 29th.
inline constexpr double kSampleRecordStart = 1774220400;  // 2026-03-23T00:00 Berlin
inline constexpr double kSampleRecordEnd = 1774994400;    // 2026-04-01T00:00 Berlin
[[nodiscard]] inline std::vector<ActivityInterval> activitySampleRecord() {
  return activitySampleRecord(kSampleRecordStart, 9);
}

// Queries over that record: its whole range and single days, app and text filters in
// and beyond ASCII, in other case and other canonical spellings, empty filters, ranges
// before and after it and invalid ones.
[[nodiscard]] std::vector<ActivityQueryArgs> activitySampleQueries();

}  // namespace tovarin
