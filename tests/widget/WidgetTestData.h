#pragma once

#include <string>

#include "base/Calendar.h"
#include "base/Json.h"

namespace tovarin::widget_test {

// The device's zone in every widget test; the account's zone differs from it.
inline Calendar shanghai() { return *Calendar::gregorian("Asia/Shanghai"); }
inline Calendar newYork() { return *Calendar::gregorian("America/New_York"); }

inline double at(const Calendar& zone, int year, int month, int day, int hour = 0, int minute = 0) {
  return *zone.date(CivilFields{year, month, day, hour, minute, 0});
}

// A well-formed feed body; tests change one part of it.
inline Json feedBody() {
  return Json{
      {"rev", 7},
      {"epoch", "e-1"},
      {"occurrences",
       Json::array({Json{{"key", "o1"},
                         {"title", "需求评审"},
                         {"allDay", false},
                         {"startLocal", "2026-03-05T14:00"},
                         {"endLocal", "2026-03-05T15:30"},
                         {"calendarId", "work"},
                         {"extra", 1}}})},
      {"calendarTimeZone", Json{{"runtimeReady", true}, {"zone", "America/New_York"}}},
      {"calendars", Json::array({Json{{"id", "work"}, {"color", "#d1362f"}}})},
      {"tasks", Json::array({Json{{"id", "t1"}, {"title", "交周报"}, {"due", "2026-03-06"}}})},
  };
}

}  // namespace tovarin::widget_test
