#include "tests/support/ActivityQueryReference.h"

#include <algorithm>
#include <cmath>

#include "base/Text.h"
#include "main/activity_core/HourlyAggregator.h"

namespace tovarin::ActivityQueryReference {

namespace {

using namespace ActivityQuery;

bool contains(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }

std::string folded(std::string_view text) { return text::nfc(text::lowercased(text)); }

std::optional<std::string> filterOf(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  return folded(*value);
}

struct Collected {
  ActivityItem item;
  double first = 0;
};

bool matchesApp(const HourRow& row, const std::string& filter) {
  return folded(row.bundleId) == filter || contains(folded(row.app), filter);
}

bool matchesText(const HourRow& row, const std::string& filter) {
  return contains(folded(row.title), filter) || contains(folded(row.domain.value_or("")), filter) ||
         contains(folded(row.app), filter);
}

// Ties on every key keep their collected order: the sorts are stable.
int compareNames(const ActivityItem& a, const ActivityItem& b) {
  if (int order = text::compareScalars(a.app, b.app)) return order;
  return text::compareScalars(a.title, b.title);
}

}  // namespace

std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args, const std::vector<ActivityInterval>& intervals,
                                       double now, const Calendar& calendar, const ItemId& itemId) {
  auto range = window(args, calendar);
  if (!range) return std::nullopt;
  double effectiveEnd = std::min(now, range->end);
  if (!(effectiveEnd > range->start)) return ActivityQueryResult{};
  auto appFilter = filterOf(args.app);
  auto textFilter = filterOf(args.text);

  std::vector<Collected> collected;
  for (const HourSummary& summary :
       HourlyAggregator::summaries(intervals, calendar, DateInterval{range->start, effectiveEnd})) {
    for (const HourRow& row : summary.rows) {
      int64_t minutes = static_cast<int64_t>(std::round(row.seconds / 60.0));
      if (minutes < 1) continue;
      if (appFilter && !matchesApp(row, *appFilter)) continue;
      if (textFilter && !matchesText(row, *textFilter)) continue;
      std::string start = wallClock(row.first, calendar);
      std::string end = wallClock(row.last, calendar);
      if (end < start) end = start;
      if (!isWallClock(start) || !isWallClock(end)) continue;
      if (text::utf16Length(row.title) > titleMax) continue;
      ActivityItem item{itemId(rowKey(summary.hourStart, row)), std::move(start), std::move(end), row.app, row.title,
                        row.domain, minutes};
      collected.push_back(Collected{std::move(item), row.first});
    }
  }

  bool truncated = collected.size() > maxItems;
  if (truncated) {
    std::stable_sort(collected.begin(), collected.end(), [](const Collected& a, const Collected& b) {
      if (a.item.durationMin != b.item.durationMin) return a.item.durationMin > b.item.durationMin;
      if (a.first != b.first) return a.first < b.first;
      return compareNames(a.item, b.item) < 0;
    });
    collected.resize(maxItems);
  }
  std::stable_sort(collected.begin(), collected.end(), [](const Collected& a, const Collected& b) {
    if (a.first != b.first) return a.first < b.first;
    if (a.item.durationMin != b.item.durationMin) return a.item.durationMin > b.item.durationMin;
    return compareNames(a.item, b.item) < 0;
  });

  ActivityQueryResult result;
  result.truncated = truncated;
  result.items.reserve(collected.size());
  for (Collected& entry : collected) result.items.push_back(std::move(entry.item));
  return result;
}

std::optional<ActivityInterval> decode(std::string_view text) {
  auto json = parseJson(text);
  return json ? ActivityInterval::fromJson(*json) : std::nullopt;
}

}  // namespace tovarin::ActivityQueryReference
