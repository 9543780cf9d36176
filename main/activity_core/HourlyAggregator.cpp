#include "main/activity_core/HourlyAggregator.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/Text.h"

namespace tovarin::HourlyAggregator {

namespace {

// The identity of a row. The texts are kept canonically composed so that equivalent
// spellings of one title share a row; an absent domain differs from an empty one.
struct Key {
  double hourStart = 0;
  std::string bundleId;
  std::string title;
  std::optional<std::string> domain;
  bool operator==(const Key&) const = default;
};

// A key looked up without copying its texts; a row is made only for a new one.
struct KeyView {
  double hourStart = 0;
  std::string_view bundleId;
  std::string_view title;
  const std::string* domain = nullptr;  // absent
};

struct KeyHash {
  using is_transparent = void;
  std::size_t operator()(const KeyView& key) const {
    // +0.0 folds -0.0 into 0.0, which compare equal and must hash alike.
    std::size_t seed = std::hash<double>{}(key.hourStart + 0.0);
    auto mix = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    mix(std::hash<std::string_view>{}(key.bundleId));
    mix(std::hash<std::string_view>{}(key.title));
    mix(key.domain ? std::hash<std::string>{}(*key.domain) + 1 : 0);
    return seed;
  }
  std::size_t operator()(const Key& key) const { return (*this)(view(key)); }
  static KeyView view(const Key& key) {
    return {key.hourStart, key.bundleId, key.title, key.domain ? &*key.domain : nullptr};
  }
};

struct KeyEqual {
  using is_transparent = void;
  static bool same(const KeyView& a, const KeyView& b) {
    if (!(a.hourStart == b.hourStart && a.bundleId == b.bundleId && a.title == b.title)) return false;
    return a.domain && b.domain ? *a.domain == *b.domain : !a.domain && !b.domain;
  }
  bool operator()(const Key& a, const Key& b) const { return a == b; }
  bool operator()(const Key& a, const KeyView& b) const { return same(KeyHash::view(a), b); }
  bool operator()(const KeyView& a, const Key& b) const { return same(a, KeyHash::view(b)); }
};

using Rows = std::unordered_map<Key, HourRow, KeyHash, KeyEqual>;

// An interval's identity texts, composed once for all of its hours.
struct Identity {
  explicit Identity(const ActivityInterval& interval)
      : bundleId(text::nfc(interval.bundleId)),
        title(text::nfc(interval.title)),
        domain(interval.domain ? std::optional<std::string>(text::nfc(*interval.domain)) : std::nullopt) {}
  std::string bundleId;
  std::string title;
  std::optional<std::string> domain;
};

void addSegment(Rows& rows, const ActivityInterval& interval, const Identity& identity, double hourStart, double from,
                double to) {
  const KeyView key{hourStart, identity.bundleId, identity.title, identity.domain ? &*identity.domain : nullptr};
  auto found = rows.find(key);
  if (found == rows.end()) {
    rows.emplace(Key{hourStart, identity.bundleId, identity.title, identity.domain},
                 HourRow{interval.bundleId, interval.appName, interval.title, interval.domain, to - from, from, to});
    return;
  }
  HourRow& row = found->second;
  row.seconds += to - from;
  row.first = std::min(row.first, from);
  row.last = std::max(row.last, to);
}

// The calendar's hour of a moment, the last whole hour reused for moments at least a
// second inside it: in an hour without a clock change every such moment has that same
// hour, and asking the calendar costs more than the rest of a segment's work.
class HourOf {
 public:
  explicit HourOf(const Calendar& calendar) : calendar_(calendar) {}
  std::optional<DateInterval> operator()(double time) {
    if (last_ && time >= last_->start + 1.0 && time <= last_->end - 1.0) return last_;
    auto hour = calendar_.hourInterval(time);
    if (hour && hour->end - hour->start == 3600.0) last_ = hour;
    return hour;
  }

 private:
  const Calendar& calendar_;
  std::optional<DateInterval> last_;
};

// Three-way rowOrder: negative when `a` comes first.
int compareRows(const HourRow& a, const HourRow& b) {
  if (a.seconds != b.seconds) return a.seconds > b.seconds ? -1 : 1;
  if (int order = text::compareScalars(a.app, b.app)) return order;
  if (int order = text::compareScalars(a.title, b.title)) return order;
  return text::compareScalars(a.domain.value_or(""), b.domain.value_or(""));
}

}  // namespace

bool rowOrder(const HourRow& a, const HourRow& b) { return compareRows(a, b) < 0; }

std::vector<HourSummary> summaries(const std::vector<ActivityInterval>& intervals, const Calendar& calendar,
                                   std::optional<DateInterval> window, std::optional<std::size_t> rowLimit) {
  std::unordered_map<double, double> hourEnds;
  Rows rows;
  HourOf hourOf(calendar);
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
    const Identity identity(interval);
    double cursor = start;
    while (cursor < end) {
      auto hour = hourOf(cursor);
      if (!hour || !(hour->end > cursor)) break;
      double segmentEnd = std::min(hour->end, end);
      hourEnds[hour->start + 0.0] = hour->end;
      addSegment(rows, interval, identity, hour->start, cursor, segmentEnd);
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
      if (int order = compareRows(a, b)) return order < 0;
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

}  // namespace tovarin::HourlyAggregator
