#include "widget/CalendarEntry.h"

#include <cstdio>

#include "tokens/TovarinColors.h"

namespace tovarin {

namespace {

// Today's day key in the device's zone, "T" and the time: "2026-03-05T09:30".
std::string stamp(double now, const Calendar& device, int hour, int minute) {
  char time[8];
  std::snprintf(time, sizeof time, "%02d:%02d", hour, minute);
  return CalendarFeed::dayKey(now, device) + "T" + time;
}

}  // namespace

Calendar CalendarEntry::timeZone(const Calendar& device) const {
  if (zoneId) {
    if (auto zone = Calendar::gregorian(*zoneId)) return *zone;
  }
  return device;
}

CalendarEntry CalendarEntry::at(double newDate) const {
  CalendarEntry copy = *this;
  copy.date = newDate;
  return copy;
}

CalendarEntry CalendarEntry::fromFeed(FeedResult result, double now) {
  CalendarEntry entry;
  entry.date = now;
  if (auto* failure = std::get_if<FeedFailure>(&result)) {
    entry.failure = *failure;
    return entry;
  }
  auto& data = std::get<FeedData>(result);
  entry.accountEpoch = std::move(data.epoch);
  entry.zoneId = std::move(data.zoneId);
  entry.occurrences = std::move(data.occurrences);
  entry.colors = std::move(data.colors);
  entry.tasks = std::move(data.tasks);
  return entry;
}

CalendarEntry CalendarEntry::placeholder(double now, const Calendar& device) {
  CalendarEntry entry;
  entry.date = now;
  auto meeting = [&](const char* key, const char* title, int startHour, int startMinute, int endHour, int endMinute,
                     const char* calendar) {
    return Occurrence{key, title, false, stamp(now, device, startHour, startMinute),
                      stamp(now, device, endHour, endMinute), calendar};
  };
  entry.occurrences = {
      meeting("1", "每日站会", 9, 30, 9, 45, "work"),
      meeting("2", "需求评审", 14, 0, 15, 30, "work"),
      meeting("3", "和朋友吃饭", 18, 30, 20, 30, "personal"),
  };
  entry.colors = {{"work", TovarinSeedCalendar::work.fixed()}, {"personal", TovarinSeedCalendar::personal.fixed()}};
  std::string today = CalendarFeed::dayKey(now, device);
  entry.tasks = {
      {"t1", "给房东回电话确认续租", WidgetTask::Kind::followUp, today},
      {"t2", "把周会纪要发给团队", WidgetTask::Kind::due, today},
  };
  return entry;
}

}  // namespace tovarin
