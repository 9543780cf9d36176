#include "main/bridges/ReminderTime.h"

#include <cmath>
#include <tuple>

namespace tovarin::ReminderTime {
namespace {

std::optional<int> digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::optional<CivilFields> parseFields(std::string_view text) {
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') return std::nullopt;
  const auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  const auto hour = digits(text, 11, 2), minute = digits(text, 14, 2);
  if (!year || !month || !day || !hour || !minute) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59) return std::nullopt;
  return CivilFields{*year, *month, *day, *hour, *minute, 0};
}

auto key(const CivilFields& f) { return std::tie(f.year, f.month, f.day, f.hour, f.minute, f.second); }

bool dayExists(const CivilFields& wanted, const Calendar& calendar) {
  // Noon exists on every day; a day past the month's end rolls into the next month.
  CivilFields noon = wanted;
  noon.hour = 12;
  noon.minute = 0;
  const auto time = calendar.date(noon);
  const auto back = time ? calendar.fields(*time) : std::nullopt;
  return back && back->year == wanted.year && back->month == wanted.month && back->day == wanted.day;
}

// The first moment whose local time is not before `wanted`, searched in the hours
// around `near`, where local time only moves forward.
double firstMomentAtOrAfter(const CivilFields& wanted, const Calendar& calendar, double near) {
  double lower = near - 6 * 3600.0;
  double upper = near + 6 * 3600.0;
  while (upper - lower > 0.5) {
    const double middle = (lower + upper) / 2;
    const auto fields = calendar.fields(middle);
    if (fields && key(*fields) >= key(wanted)) {
      upper = middle;
    } else {
      lower = middle;
    }
  }
  return std::floor(upper + 0.5);
}

}  // namespace

std::optional<double> parse(std::string_view text, const Calendar& calendar) {
  const auto wanted = parseFields(text);
  if (!wanted || !dayExists(*wanted, calendar)) return std::nullopt;
  auto time = calendar.date(*wanted);
  if (!time) return std::nullopt;
  const auto fields = calendar.fields(*time);
  if (!fields) return std::nullopt;
  if (*fields != *wanted) {
    // The clocks skip this minute: the first moment after the gap.
    return firstMomentAtOrAfter(*wanted, calendar, *time);
  }
  // The clocks may show this minute twice: take the earlier moment.
  for (double shift : {7200.0, 3600.0, 1800.0}) {
    const auto earlier = calendar.fields(*time - shift);
    if (earlier && *earlier == *wanted) return *time - shift;
  }
  return time;
}

}  // namespace tovarin::ReminderTime
