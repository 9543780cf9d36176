#include "base/Calendar.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <ostream>

#include <gtest/gtest.h>

namespace tovarin {

void PrintTo(const DateInterval& interval, std::ostream* out) {
  *out << std::fixed << "[" << interval.start << ", " << interval.end << ")";
}

void PrintTo(const CivilFields& f, std::ostream* out) {
  *out << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute << ":" << f.second;
}

namespace {

double utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<double>(timegm(&tm));
}

Calendar zone(const char* id) {
  auto calendar = Calendar::gregorian(id);
  EXPECT_TRUE(calendar) << id;
  return calendar ? *calendar : *Calendar::gregorian("UTC");
}

TEST(CalendarTest, UnknownZoneIsRefused) {
  EXPECT_FALSE(Calendar::gregorian("Mars/Olympus_Mons"));
  EXPECT_FALSE(Calendar::gregorian(""));
  EXPECT_TRUE(Calendar::gregorian("Asia/Shanghai"));
}

TEST(CalendarTest, HoursStayOneHourLongAcrossWholeHourClockChanges) {
  struct Case {
    const char* zone;
    double time;
    DateInterval hour;
  } cases[] = {
      // Spring forward in Berlin at 01:00Z: 01:59 CET is followed by 03:00 CEST.
      {"Europe/Berlin", utc(2025, 3, 30, 0, 30), {utc(2025, 3, 30, 0), utc(2025, 3, 30, 1)}},
      {"Europe/Berlin", utc(2025, 3, 30, 1, 0), {utc(2025, 3, 30, 1), utc(2025, 3, 30, 2)}},
      // Fall back at 01:00Z: the local hour 02:00 happens twice, as two distinct hours.
      {"Europe/Berlin", utc(2025, 10, 26, 0, 59), {utc(2025, 10, 26, 0), utc(2025, 10, 26, 1)}},
      {"Europe/Berlin", utc(2025, 10, 26, 1, 1), {utc(2025, 10, 26, 1), utc(2025, 10, 26, 2)}},
      // A half-hour offset moves the hour boundaries off the UTC hour.
      {"Asia/Kolkata", utc(2025, 3, 1, 10, 0), {utc(2025, 3, 1, 9, 30), utc(2025, 3, 1, 10, 30)}},
      // Lord Howe turns its clocks back 30 minutes at 02:00 local (15:00Z): the hour
      // before ends at the jump, and the one after starts there.
      {"Australia/Lord_Howe", utc(2025, 4, 5, 14, 40), {utc(2025, 4, 5, 14, 0), utc(2025, 4, 5, 15, 0)}},
      {"Australia/Lord_Howe", utc(2025, 4, 5, 15, 10), {utc(2025, 4, 5, 15, 0), utc(2025, 4, 5, 15, 30)}},
      {"UTC", utc(2025, 3, 1, 10, 0), {utc(2025, 3, 1, 10), utc(2025, 3, 1, 11)}},
  };
  for (const auto& c : cases) {
    auto hour = zone(c.zone).hourInterval(c.time);
    ASSERT_TRUE(hour) << c.zone << " " << c.time;
    EXPECT_EQ(*hour, c.hour) << c.zone << " " << c.time;
  }
}

TEST(CalendarTest, EveryMomentLiesInsideItsHour) {
  Calendar calendar = zone("Australia/Lord_Howe");
  // Across a whole day with a 30-minute clock change, in 7-minute steps.
  for (double time = utc(2025, 4, 5, 0); time < utc(2025, 4, 6, 0); time += 420) {
    auto hour = calendar.hourInterval(time);
    ASSERT_TRUE(hour);
    EXPECT_LE(hour->start, time);
    EXPECT_GT(hour->end, time);
    EXPECT_LE(hour->end - hour->start, 3600);
  }
}

TEST(CalendarTest, DaysOfTwentyThreeAndTwentyFiveHours) {
  Calendar berlin = zone("Europe/Berlin");
  struct Case {
    double noon;
    double startOfDay;
    double nextStartOfDay;
  } cases[] = {
      {utc(2025, 3, 30, 10), utc(2025, 3, 29, 23), utc(2025, 3, 30, 22)},
      {utc(2025, 10, 26, 11), utc(2025, 10, 25, 22), utc(2025, 10, 26, 23)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(berlin.startOfDay(c.noon), c.startOfDay);
    auto next = berlin.addingDays(c.noon, 1);
    ASSERT_TRUE(next);
    EXPECT_EQ(berlin.startOfDay(*next), c.nextStartOfDay);
  }
}

TEST(CalendarTest, SkippedMidnightStartsTheDayAtTheJump) {
  // Havana springs forward at midnight: 2025-03-09 begins at 01:00 local (05:00Z).
  Calendar havana = zone("America/Havana");
  EXPECT_EQ(havana.startOfDay(utc(2025, 3, 9, 17)), utc(2025, 3, 9, 5));
}

TEST(CalendarTest, FieldsAndDatesRoundTripAndRollOverLeniently) {
  Calendar shanghai = zone("Asia/Shanghai");
  EXPECT_EQ(shanghai.fields(utc(2025, 3, 1, 2, 5, 9)), (CivilFields{2025, 3, 1, 10, 5, 9}));
  EXPECT_EQ(shanghai.date(CivilFields{2025, 3, 1, 10, 5, 9}), utc(2025, 3, 1, 2, 5, 9));
  // February 30th rolls into March; month 13 into the next January.
  EXPECT_EQ(shanghai.date(CivilFields{2025, 2, 30, 12, 0, 0}), utc(2025, 3, 2, 4));
  EXPECT_EQ(shanghai.date(CivilFields{2025, 13, 1, 12, 0, 0}), utc(2026, 1, 1, 4));
  // Proleptic: the days of October 1582 that a Julian switch would skip exist.
  auto fields = shanghai.fields(*shanghai.date(CivilFields{1582, 10, 10, 12, 0, 0}));
  EXPECT_EQ(fields, (CivilFields{1582, 10, 10, 12, 0, 0}));
}

TEST(CalendarTest, TimesThatAreNotFiniteOrTooFarAwayGiveNothing) {
  Calendar calendar = zone("UTC");
  for (double time : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity(), 1e300, -1e15}) {
    EXPECT_FALSE(calendar.hourInterval(time)) << time;
    EXPECT_FALSE(calendar.fields(time)) << time;
    EXPECT_FALSE(calendar.startOfDay(time)) << time;
    EXPECT_FALSE(calendar.addingDays(time, 1)) << time;
  }
  EXPECT_FALSE(calendar.date(CivilFields{2000000000, 1, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace tovarin
