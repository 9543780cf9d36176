#include "widget/Occurrence.h"

#include <algorithm>

#include "widget/WidgetText.h"

namespace tovarin {

namespace {

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

std::optional<Occurrence> Occurrence::decode(const Json& value) {
  if (!value.is_object()) return std::nullopt;
  auto key = jsonString(value, "key");
  auto title = jsonString(value, "title");
  auto allDay = jsonBool(value, "allDay");
  auto start = jsonString(value, "startLocal");
  auto end = jsonString(value, "endLocal");
  auto calendar = jsonString(value, "calendarId");
  if (!key || !title || !allDay || !start || !end || !calendar) return std::nullopt;
  return Occurrence{*key, *title, *allDay, *start, *end, *calendar};
}

std::string Occurrence::dayKey() const { return WidgetText::prefix(startLocal, 10); }

std::string Occurrence::displayDayKey(const std::string& day) const {
  std::string own = dayKey();
  return std::max(own, day);
}

std::string Occurrence::timeText() const {
  return allDay ? std::string("全天") : WidgetText::suffix(startLocal, 5);
}

std::optional<double> Occurrence::startDate(const Calendar& zone) const { return parse(startLocal, zone); }
std::optional<double> Occurrence::endDate(const Calendar& zone) const { return parse(endLocal, zone); }

std::optional<double> Occurrence::parse(std::string_view text, const Calendar& zone) {
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') {
    return std::nullopt;
  }
  auto year = digits(text, 0, 4);
  auto month = digits(text, 5, 2);
  auto day = digits(text, 8, 2);
  auto hour = digits(text, 11, 2);
  auto minute = digits(text, 14, 2);
  if (!year || !month || !day || !hour || !minute) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month)) return std::nullopt;
  if (*hour > 23 || *minute > 59) return std::nullopt;
  return zone.date(CivilFields{*year, *month, *day, *hour, *minute, 0});
}

}  // namespace tovarin
