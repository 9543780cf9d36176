#include "main/activity_core/ActivityQuery.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Text.h"
#include "main/activity_core/HourlyAggregator.h"

namespace tovarin::ActivityQuery {

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Reads `text` against a shape of 'd' (one ASCII digit) and literal characters, and
// returns the numbers of the digit runs. Digits other than ASCII are refused, so
// full-width dates never pass.
std::optional<std::vector<int>> readDigits(std::string_view text, std::string_view shape) {
  if (text.size() != shape.size()) return std::nullopt;
  std::vector<int> numbers;
  bool inNumber = false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd') {
      if (!isAsciiDigit(text[i])) return std::nullopt;
      if (!inNumber) numbers.push_back(0);
      numbers.back() = numbers.back() * 10 + (text[i] - '0');
      inNumber = true;
    } else {
      if (text[i] != shape[i]) return std::nullopt;
      inNumber = false;
    }
  }
  return numbers;
}

int64_t floorDivide(int64_t a, int64_t b) {
  int64_t quotient = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int year, int month) {
  static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

bool contains(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }

std::string folded(std::string_view text) { return text::nfc(text::lowercased(text)); }

std::optional<std::string> filterOf(const std::optional<std::string>& value) {
  if (!value || value->empty()) return std::nullopt;
  return folded(*value);
}

// A row that will be answered if it is among the kept ones; its item is made only
// then. `order` is its place in the collection, so that the sorts below, which break
// every tie with it, keep the order that stable sorts would.
struct Candidate {
  const HourSummary* summary = nullptr;
  const HourRow* row = nullptr;
  int64_t minutes = 0;
  std::size_t order = 0;
};

bool matchesApp(const HourRow& row, const std::string& filter) {
  return folded(row.bundleId) == filter || contains(folded(row.app), filter);
}

bool matchesText(const HourRow& row, const std::string& filter) {
  return contains(folded(row.title), filter) || contains(folded(row.domain.value_or("")), filter) ||
         contains(folded(row.app), filter);
}

int compareNames(const HourRow& a, const HourRow& b) {
  if (int order = text::compareScalars(a.app, b.app)) return order;
  return text::compareScalars(a.title, b.title);
}

// Longest first, then earliest, then by name; ties keep their collected order.
bool longerFirst(const Candidate& a, const Candidate& b) {
  if (a.minutes != b.minutes) return a.minutes > b.minutes;
  if (a.row->first != b.row->first) return a.row->first < b.row->first;
  if (int order = compareNames(*a.row, *b.row)) return order < 0;
  return a.order < b.order;
}

// Earliest first, then longest, then by name; ties keep their collected order.
bool earlierFirst(const Candidate& a, const Candidate& b) {
  if (a.row->first != b.row->first) return a.row->first < b.row->first;
  if (a.minutes != b.minutes) return a.minutes > b.minutes;
  if (int order = compareNames(*a.row, *b.row)) return order < 0;
  return a.order < b.order;
}

// Times from the start of year 2 to the end of year 9998 are shown as valid wall
// clocks in any zone and calendar (offsets stay under a day, the Julian days before
// 1582 under three), so only times outside them need their texts made to be checked.
bool plainlyShowable(double time) {
  static const double earliest = static_cast<double>(dayNumber(2, 1, 1) * 86400);
  static const double latest = static_cast<double>(dayNumber(9998, 12, 31) * 86400);
  return time >= earliest && time <= latest;
}

std::pair<std::string, std::string> wallClocks(const HourRow& row, const Calendar& calendar) {
  std::string start = wallClock(row.first, calendar);
  std::string end = wallClock(row.last, calendar);
  if (end < start) end = start;
  return {std::move(start), std::move(end)};
}

bool showable(const HourRow& row, const Calendar& calendar) {
  if (plainlyShowable(row.first) && plainlyShowable(row.last)) return true;
  auto [start, end] = wallClocks(row, calendar);
  return isWallClock(start) && isWallClock(end);
}

}  // namespace

int64_t dayNumber(int64_t year, int64_t month, int64_t day) {
  int64_t y = month <= 2 ? year - 1 : year;
  int64_t era = floorDivide(y, 400);
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * ((month + 9) % 12) + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<CivilFields> day(std::string_view text, const Calendar& calendar) {
  auto numbers = readDigits(text, "dddd-dd-dd");
  if (!numbers) return std::nullopt;
  int year = (*numbers)[0];
  int month = (*numbers)[1];
  int dayOfMonth = (*numbers)[2];
  auto noon = calendar.date(CivilFields{year, month, dayOfMonth, 12, 0, 0});
  if (!noon) return std::nullopt;
  auto back = calendar.fields(*noon);
  if (!back || back->year != year || back->month != month || back->day != dayOfMonth) return std::nullopt;
  return CivilFields{year, month, dayOfMonth, 0, 0, 0};
}

std::optional<DateInterval> window(const ActivityQueryArgs& args, const Calendar& calendar) {
  auto from = day(args.from, calendar);
  auto to = day(args.to, calendar);
  if (!from || !to) return std::nullopt;
  int64_t span = dayNumber(to->year, to->month, to->day) - dayNumber(from->year, from->month, from->day);
  if (span < 0 || span > maxRangeDays) return std::nullopt;
  if (args.app && text::utf16Length(*args.app) > appMax) return std::nullopt;
  if (args.text && text::utf16Length(*args.text) > textMax) return std::nullopt;
  auto fromNoon = calendar.date(CivilFields{from->year, from->month, from->day, 12, 0, 0});
  auto toNoon = calendar.date(CivilFields{to->year, to->month, to->day, 12, 0, 0});
  if (!fromNoon || !toNoon) return std::nullopt;
  auto nextNoon = calendar.addingDays(*toNoon, 1);
  if (!nextNoon) return std::nullopt;
  auto start = calendar.startOfDay(*fromNoon);
  auto end = calendar.startOfDay(*nextNoon);
  if (!start || !end) return std::nullopt;
  return DateInterval{*start, *end};
}

std::string rowKey(double hourStart, const HourRow& row) {
  std::string hour;
  double whole = std::trunc(hourStart);
  if (std::isfinite(whole) && whole >= -9223372036854775808.0 && whole < 9223372036854775808.0) {
    hour = std::to_string(static_cast<int64_t>(whole));
  } else {
    // Never converted to an integer: such a time has no 64-bit whole part.
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    hour = buffer;
  }
  constexpr char separator = '\x1f';
  return std::string("item") + separator + hour + separator + row.bundleId + separator + row.title + separator +
         row.domain.value_or("");
}

std::string wallClock(double time, const Calendar& calendar) {
  CivilFields fields = calendar.fields(time).value_or(CivilFields{0, 0, 0, 0, 0, 0});
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d", fields.year, fields.month, fields.day, fields.hour,
                fields.minute);
  return buffer;
}

bool isWallClock(std::string_view text) {
  auto numbers = readDigits(text, "dddd-dd-ddTdd:dd");
  if (!numbers) return false;
  int year = (*numbers)[0];
  int month = (*numbers)[1];
  int dayOfMonth = (*numbers)[2];
  int hour = (*numbers)[3];
  int minute = (*numbers)[4];
  if (month < 1 || month > 12 || hour > 23 || minute > 59) return false;
  return dayOfMonth >= 1 && dayOfMonth <= daysInMonth(year, month);
}

std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args, const std::vector<ActivityInterval>& intervals,
                                       double now, const Calendar& calendar, const ItemId& itemId) {
  auto range = window(args, calendar);
  if (!range) return std::nullopt;
  double effectiveEnd = std::min(now, range->end);
  if (!(effectiveEnd > range->start)) return ActivityQueryResult{};
  auto appFilter = filterOf(args.app);
  auto textFilter = filterOf(args.text);

  const std::vector<HourSummary> summaries =
      HourlyAggregator::summaries(intervals, calendar, DateInterval{range->start, effectiveEnd});
  std::vector<Candidate> candidates;
  for (const HourSummary& summary : summaries) {
    for (const HourRow& row : summary.rows) {
      int64_t minutes = static_cast<int64_t>(std::round(row.seconds / 60.0));
      if (minutes < 1) continue;
      if (appFilter && !matchesApp(row, *appFilter)) continue;
      if (textFilter && !matchesText(row, *textFilter)) continue;
      if (!showable(row, calendar)) continue;
      if (text::utf16Length(row.title) > titleMax) continue;
      candidates.push_back(Candidate{&summary, &row, minutes, candidates.size()});
    }
  }

  // Items, their wall clocks and ids are made only for the rows kept.
  const bool truncated = candidates.size() > maxItems;
  if (truncated) {
    std::partial_sort(candidates.begin(), candidates.begin() + maxItems, candidates.end(), longerFirst);
    candidates.resize(maxItems);
  }
  std::sort(candidates.begin(), candidates.end(), earlierFirst);

  ActivityQueryResult result;
  result.truncated = truncated;
  result.items.reserve(candidates.size());
  for (const Candidate& candidate : candidates) {
    const HourRow& row = *candidate.row;
    auto [start, end] = wallClocks(row, calendar);
    result.items.push_back(ActivityItem{itemId(rowKey(candidate.summary->hourStart, row)), std::move(start),
                                        std::move(end), row.app, row.title, row.domain, candidate.minutes});
  }
  return result;
}

}  // namespace tovarin::ActivityQuery
