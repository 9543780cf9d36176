#include "main/activity_core/HourlyAggregator.h"

#include <limits>

#include <gtest/gtest.h>

#include "tests/support/ActivityQueryReference.h"
#include "tests/support/ActivitySampleRecord.h"

namespace tovarin {
namespace {

using S = std::optional<std::string>;

class HourlyAggregatorTest : public ::testing::Test {
 protected:
  Calendar berlin_ = *Calendar::gregorian("Europe/Berlin");

  double local(int year, int month, int day, int hour, int minute = 0) const {
    return *berlin_.date(CivilFields{year, month, day, hour, minute, 0});
  }
};

ActivityInterval span(double start, double end, std::string title = "Doc", S domain = S(),
                      std::string bundleId = "com.example.editor", std::string app = "Editor") {
  return ActivityInterval{"iv", std::move(bundleId), std::move(app), std::move(title), std::move(domain), start, end};
}

TEST_F(HourlyAggregatorTest, AnIntervalIsCutAtEveryHour) {
  double start = local(2025, 3, 1, 10, 50);
  double end = local(2025, 3, 1, 12, 10);
  auto summaries = HourlyAggregator::summaries({span(start, end)}, berlin_);
  ASSERT_EQ(summaries.size(), 3u);
  double hours[] = {local(2025, 3, 1, 10), local(2025, 3, 1, 11), local(2025, 3, 1, 12)};
  double seconds[] = {600, 3600, 600};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(summaries[i].hourStart, hours[i]);
    EXPECT_EQ(summaries[i].hourEnd, hours[i] + 3600);
    ASSERT_EQ(summaries[i].rows.size(), 1u);
    EXPECT_EQ(summaries[i].rows[0].seconds, seconds[i]);
    EXPECT_EQ(summaries[i].totalSeconds, seconds[i]);
  }
  EXPECT_EQ(summaries[0].rows[0].first, start);
  EXPECT_EQ(summaries[0].rows[0].last, hours[1]);
  EXPECT_EQ(summaries[2].rows[0].first, hours[2]);
  EXPECT_EQ(summaries[2].rows[0].last, end);
}

TEST_F(HourlyAggregatorTest, RowsAreKeyedByAppIdTitleAndDomainNotByName) {
  double hour = local(2025, 3, 1, 9);
  auto summaries = HourlyAggregator::summaries(
      {
          span(hour + 600, hour + 700, "Doc", S(), "com.example.editor", "Editor"),
          span(hour + 100, hour + 200, "Doc", S(), "com.example.editor", "Editor 2"),
          span(hour + 800, hour + 830, "Doc", S(""), "com.example.editor", "Editor"),
          span(hour + 900, hour + 910, "Doc", S("a.example"), "com.example.editor", "Editor"),
          span(hour + 920, hour + 925, "Doc", S("b.example"), "com.example.editor", "Editor"),
          // Canonically equivalent spellings of one title share a row.
          span(hour + 1000, hour + 1050, "Caf\u00e9", S(), "com.example.editor", "Editor"),
          span(hour + 1100, hour + 1150, "Cafe\u0301", S(), "com.example.editor", "Editor"),
      },
      berlin_);
  ASSERT_EQ(summaries.size(), 1u);
  const auto& rows = summaries[0].rows;
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (HourRow{"com.example.editor", "Editor", "Doc", S(), 200, hour + 100, hour + 700}));
  EXPECT_EQ(rows[1].title, "Caf\u00e9");
  EXPECT_EQ(rows[1].seconds, 100);
  EXPECT_EQ(rows[2].domain, S(""));
  EXPECT_EQ(rows[3].domain, S("a.example"));
  EXPECT_EQ(rows[4].domain, S("b.example"));
  EXPECT_EQ(summaries[0].totalSeconds, 200 + 100 + 30 + 10 + 5);
}

TEST_F(HourlyAggregatorTest, RowLimitKeepsTheLongestButTotalCountsAll) {
  double hour = local(2025, 3, 1, 9);
  std::vector<ActivityInterval> intervals;
  for (int i = 0; i < 12; ++i) {
    intervals.push_back(span(hour + i * 200, hour + i * 200 + 10 + i, "T" + std::to_string(i)));
  }
  auto summaries = HourlyAggregator::summaries(intervals, berlin_, std::nullopt, HourlyAggregator::storedRowsPerHour);
  ASSERT_EQ(summaries.size(), 1u);
  ASSERT_EQ(summaries[0].rows.size(), 10u);
  EXPECT_EQ(summaries[0].rows.front().title, "T11");
  EXPECT_EQ(summaries[0].rows.back().title, "T2");
  double total = 0;
  for (int i = 0; i < 12; ++i) total += 10 + i;
  EXPECT_EQ(summaries[0].totalSeconds, total);
  EXPECT_TRUE(HourlyAggregator::summaries(intervals, berlin_, std::nullopt, 0)[0].rows.empty());
}

TEST_F(HourlyAggregatorTest, EqualSecondsSortByAppTitleThenDomainWithAbsentFirst) {
  HourRow base{"id", "B", "t", S(), 60, 0, 60};
  struct Case {
    HourRow a;
    HourRow b;
    bool aFirst;
  } cases[] = {
      {HourRow{"id", "Z", "t", S(), 61, 0, 0}, base, true},
      {HourRow{"id", "A", "z", S(), 60, 0, 0}, base, true},
      {HourRow{"id", "B", "s", S(), 60, 0, 0}, base, true},
      {HourRow{"id", "B", "t", S("a"), 60, 0, 0}, base, false},
      {base, HourRow{"id", "B", "t", S("a"), 60, 0, 0}, true},
      {HourRow{"id", "B", "t", S(""), 60, 0, 0}, base, false},
      {HourRow{"id", "a", "t", S(), 60, 0, 0}, base, false},  // "a" sorts after "B"
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HourlyAggregator::rowOrder(c.a, c.b), c.aFirst) << c.a.app << c.a.title << c.a.domain.value_or("-");
  }
}

TEST_F(HourlyAggregatorTest, WindowClipsAndLeavesTheCurrentHourOut) {
  double nine = local(2025, 3, 1, 9);
  double now = nine + 3600 + 1200;
  double currentHour = berlin_.hourInterval(now)->start;
  auto summaries = HourlyAggregator::summaries({span(nine + 1800, now)}, berlin_, DateInterval{0, currentHour},
                                               HourlyAggregator::storedRowsPerHour);
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].hourStart, nine);
  EXPECT_EQ(summaries[0].totalSeconds, 1800);
}

TEST_F(HourlyAggregatorTest, ClockChangesKeepEveryHourOneHourLong) {
  // 00:30 CET to 04:30 CEST on the night the clocks spring forward: three real hours.
  auto spring = HourlyAggregator::summaries({span(local(2025, 3, 30, 0, 30), local(2025, 3, 30, 4, 30))}, berlin_);
  ASSERT_EQ(spring.size(), 4u);
  double total = 0;
  for (const auto& summary : spring) {
    EXPECT_EQ(summary.hourEnd - summary.hourStart, 3600);
    total += summary.totalSeconds;
  }
  EXPECT_EQ(total, 3 * 3600);
  EXPECT_EQ(spring[1].hourEnd, spring[2].hourStart);

  // The night they fall back has two 02:00 hours; each gets its own summary.
  auto autumn = HourlyAggregator::summaries({span(local(2025, 10, 26, 1, 30), local(2025, 10, 26, 3, 30))}, berlin_);
  ASSERT_EQ(autumn.size(), 4u);
  EXPECT_EQ(autumn[1].hourEnd, autumn[2].hourStart);
  EXPECT_EQ(berlin_.fields(autumn[1].hourStart)->hour, 2);
  EXPECT_EQ(berlin_.fields(autumn[2].hourStart)->hour, 2);
}

TEST_F(HourlyAggregatorTest, EmptyBackwardsAndNonFiniteIntervalsContributeNothing) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  double inf = std::numeric_limits<double>::infinity();
  double nine = local(2025, 3, 1, 9);
  auto summaries = HourlyAggregator::summaries(
      {span(nine, nine), span(nine + 100, nine), span(nan, nine), span(nine, nan), span(-inf, nine), span(nine, inf)},
      berlin_);
  // An endless interval would otherwise be walked hour by hour for ever.
  EXPECT_TRUE(summaries.empty());
}

// Identities are composed once per interval, looked up without copies, and a whole
// hour is reused for the moments inside it: the summaries must stay those of asking
// the calendar for every segment. The zones change their clocks inside the records,
// by an hour and, on Lord Howe Island, by half an hour; Kathmandu is 5:45 ahead.
TEST_F(HourlyAggregatorTest, SummariesAreThoseOfAskingTheCalendarForEverySegment) {
  struct Case {
    const char* zone;
    CivilFields start;
  } cases[] = {
      {"Europe/Berlin", {2026, 3, 23, 0, 0, 0}},      {"Europe/Berlin", {2026, 10, 20, 0, 0, 0}},
      {"Australia/Lord_Howe", {2026, 4, 1, 0, 0, 0}}, {"Asia/Kathmandu", {2026, 3, 23, 0, 0, 0}},
      {"UTC", {2026, 3, 23, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Calendar calendar = *Calendar::gregorian(c.zone);
    const double start = *calendar.date(c.start);
    auto intervals = activitySampleRecord(start, 9);
    intervals.push_back(span(start + 0.25, start + 9 * 86400 - 0.5, "Long"));
    const DateInterval window{start + 86400.5, start + 5 * 86400};
    EXPECT_EQ(HourlyAggregator::summaries(intervals, calendar), ActivityQueryReference::summaries(intervals, calendar))
        << c.zone;
    EXPECT_EQ(HourlyAggregator::summaries(intervals, calendar, window, HourlyAggregator::storedRowsPerHour),
              ActivityQueryReference::summaries(intervals, calendar, window, HourlyAggregator::storedRowsPerHour))
        << c.zone;
  }
}

}  // namespace
}  // namespace tovarin
