#include "tests/support/ActivityQueryReference.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <unordered_map>

#include "base/Text.h"
#include "main/activity_core/HourlyAggregator.h"

namespace tovarin::ActivityQueryReference {

namespace {

using namespace ActivityQuery;

// The identity of a row. The texts are kept canonically composed so that equivalent
// spellings of one title share a row; an absent domain differs from an empty one.
struct Key {
  double hourStart = 0;
  std::string bundleId;
  std::string title;
  std::optional<std::string> domain;
  bool operator==(const Key&) const = default;
};

struct KeyHash {
  std::size_t operator()(const Key& key) const {
    // +0.0 folds -0.0 into 0.0, which compare equal and must hash alike.
    std::size_t seed = std::hash<double>{}(key.hourStart + 0.0);
    auto mix = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    mix(std::hash<std::string>{}(key.bundleId));
    mix(std::hash<std::string>{}(key.title));
    mix(key.domain ? std::hash<std::string>{}(*key.domain) + 1 : 0);
    return seed;
  }
};

void addSegment(std::unordered_map<Key, HourRow, KeyHash>& rows, const ActivityInterval& interval, double hourStart,
                double from, double to) {
  Key key{hourStart, text::nfc(interval.bundleId), text::nfc(interval.title),
          interval.domain ? std::optional<std::string>(text::nfc(*interval.domain)) : std::nullopt};
  auto found = rows.find(key);
  if (found == rows.end()) {
    rows.emplace(std::move(key),
                 HourRow{interval.bundleId, interval.appName, interval.title, interval.domain, to - from, from, to});
    return;
  }
  HourRow& row = found->second;
  row.seconds += to - from;
  row.first = std::min(row.first, from);
  row.last = std::max(row.last, to);
}

bool oldRowOrder(const HourRow& a, const HourRow& b) {
  if (a.seconds != b.seconds) return a.seconds > b.seconds;
  if (int order = text::compareScalars(a.app, b.app)) return order < 0;
  if (int order = text::compareScalars(a.title, b.title)) return order < 0;
  return text::compareScalars(a.domain.value_or(""), b.domain.value_or("")) < 0;
}

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

std::vector<HourSummary> summaries(const std::vector<ActivityInterval>& intervals, const Calendar& calendar,
                                   std::optional<DateInterval> window, std::optional<std::size_t> rowLimit) {
  std::unordered_map<double, double> hourEnds;
  std::unordered_map<Key, HourRow, KeyHash> rows;
  for (const ActivityInterval& interval : intervals) {
    // A time that is not finite has no hour; an endless interval would never finish.
    if (!std::isfinite(interval.start) || !std::isfinite(interval.end)) continue;
    double start = interval.start;
    double end = interval.end;
    if (window) {
      start = std::max(window->start, start);
      end = std::min(window->end, end);
    }
    if (!(start < end)) continue;
    double cursor = start;
    while (cursor < end) {
      auto hour = calendar.hourInterval(cursor);
      if (!hour || !(hour->end > cursor)) break;
      double segmentEnd = std::min(hour->end, end);
      hourEnds[hour->start + 0.0] = hour->end;
      addSegment(rows, interval, hour->start, cursor, segmentEnd);
      cursor = hour->end;
    }
  }

  std::map<double, std::vector<HourRow>> byHour;
  for (auto& [key, row] : rows) byHour[key.hourStart + 0.0].push_back(std::move(row));

  std::vector<HourSummary> result;
  result.reserve(byHour.size());
  for (auto& [hourStart, hourRows] : byHour) {
    // Rows that tie under rowOrder differ only in their app id: order them by it so
    // that a row limit always cuts the same one.
    std::sort(hourRows.begin(), hourRows.end(), [](const HourRow& a, const HourRow& b) {
      if (oldRowOrder(a, b)) return true;
      if (oldRowOrder(b, a)) return false;
      return text::compareScalars(a.bundleId, b.bundleId) < 0;
    });
    double total = 0;
    for (const HourRow& row : hourRows) total += row.seconds;
    if (rowLimit && hourRows.size() > *rowLimit) hourRows.resize(*rowLimit);
    auto recordedEnd = hourEnds.find(hourStart);
    double hourEnd = recordedEnd != hourEnds.end() ? recordedEnd->second : hourStart + 3600.0;
    result.push_back(HourSummary{hourStart, hourEnd, std::move(hourRows), total});
  }
  return result;
}

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
       summaries(intervals, calendar, DateInterval{range->start, effectiveEnd})) {
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
