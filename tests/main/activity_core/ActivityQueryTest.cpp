#include "main/activity_core/ActivityQuery.h"

#include <limits>

#include <gtest/gtest.h>

#include "tests/support/ActivityQueryReference.h"
#include "tests/support/ActivitySampleRecord.h"

namespace tovarin {
namespace {

using S = std::optional<std::string>;

std::string repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

std::string fakeItemId(const std::string& rowKey) { return "id(" + rowKey + ")"; }

class ActivityQueryTest : public ::testing::Test {
 protected:
  Calendar shanghai_ = *Calendar::gregorian("Asia/Shanghai");
  Calendar berlin_ = *Calendar::gregorian("Europe/Berlin");

  double local(int year, int month, int day, int hour, int minute = 0, int second = 0) const {
    return *shanghai_.date(CivilFields{year, month, day, hour, minute, second});
  }

  std::optional<ActivityQueryResult> run(const ActivityQueryArgs& args, const std::vector<ActivityInterval>& intervals,
                                         double now) const {
    return ActivityQuery::run(args, intervals, now, shanghai_, &fakeItemId);
  }

  double farFuture_ = local(2030, 1, 1, 0);
};

ActivityInterval span(double start, double end, std::string title = "Doc", S domain = S(),
                      std::string bundleId = "com.example.editor", std::string app = "Editor") {
  return ActivityInterval{"iv", std::move(bundleId), std::move(app), std::move(title), std::move(domain), start, end};
}

ActivityQueryArgs days(std::string from, std::string to, S app = S(), S text = S()) {
  return ActivityQueryArgs{std::move(from), std::move(to), std::move(app), std::move(text)};
}

TEST_F(ActivityQueryTest, WindowAcceptsOnlyRealDaysWithinRangeAndShortFilters) {
  struct Case {
    ActivityQueryArgs args;
    bool valid;
  } cases[] = {
      {days("2025-03-01", "2025-03-01"), true},
      {days("2024-02-29", "2024-02-29"), true},
      {days("2025-3-01", "2025-03-01"), false},
      {days("2025-02-29", "2025-03-01"), false},
      {days("2025-13-01", "2025-13-01"), false},
      {days("2025-04-31", "2025-05-01"), false},
      {days("２０２５-03-01", "2025-03-01"), false},
      {days("2025-03-01\n", "2025-03-01"), false},
      {days(" 2025-03-01", "2025-03-01"), false},
      {days("2025-03-01", ""), false},
      {days("2024-01-01", "2025-02-04"), true},   // 400 days apart
      {days("2024-01-01", "2025-02-05"), false},  // 401
      {days("2025-03-02", "2025-03-01"), false},
      {days("2025-03-01", "2025-03-01", S(repeat("a", 120))), true},
      {days("2025-03-01", "2025-03-01", S(repeat("a", 121))), false},
      {days("2025-03-01", "2025-03-01", S(repeat("😀", 60))), true},
      {days("2025-03-01", "2025-03-01", S(repeat("😀", 61))), false},
      {days("2025-03-01", "2025-03-01", S(), S(repeat("字", 200))), true},
      {days("2025-03-01", "2025-03-01", S(), S(repeat("字", 201))), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ActivityQuery::window(c.args, shanghai_).has_value(), c.valid)
        << c.args.from << " " << c.args.to << " " << c.args.app.value_or("").size() << " "
        << c.args.text.value_or("").size();
    EXPECT_EQ(run(c.args, {}, farFuture_).has_value(), c.valid);
  }
  EXPECT_EQ(ActivityQuery::window(days("2025-03-01", "2025-03-01"), shanghai_),
            (DateInterval{local(2025, 3, 1, 0), local(2025, 3, 2, 0)}));
}

TEST_F(ActivityQueryTest, WindowCoversWholeLocalDaysOfTwentyThreeOrTwentyFiveHours) {
  struct Case {
    const char* from;
    const char* to;
    double hours;
  } cases[] = {{"2025-03-30", "2025-03-30", 23}, {"2025-10-26", "2025-10-26", 25}, {"2025-03-30", "2025-03-31", 47},
               {"2025-03-01", "2025-03-01", 24}};
  for (const auto& c : cases) {
    auto window = ActivityQuery::window(days(c.from, c.to), berlin_);
    ASSERT_TRUE(window) << c.from;
    EXPECT_EQ(window->end - window->start, c.hours * 3600) << c.from;
  }
}

TEST_F(ActivityQueryTest, DayNumbersCountFromTheEpochProleptically) {
  EXPECT_EQ(ActivityQuery::dayNumber(1970, 1, 1), 0);
  EXPECT_EQ(ActivityQuery::dayNumber(2000, 3, 1), 11017);
  EXPECT_EQ(ActivityQuery::dayNumber(1969, 12, 31), -1);
  EXPECT_EQ(ActivityQuery::dayNumber(0, 3, 1), -719468);
}

TEST_F(ActivityQueryTest, MinutesRoundHalfUpAndShortRowsNeverShow) {
  std::vector<ActivityInterval> intervals{span(local(2025, 3, 1, 9), local(2025, 3, 1, 9, 0, 29), "short"),
                                          span(local(2025, 3, 1, 10), local(2025, 3, 1, 10, 0, 30), "half"),
                                          span(local(2025, 3, 1, 11), local(2025, 3, 1, 11, 1, 30), "ninety")};
  auto result = run(days("2025-03-01", "2025-03-01"), intervals, farFuture_);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->items.size(), 2u);
  EXPECT_EQ(result->items[0].title, "half");
  EXPECT_EQ(result->items[0].durationMin, 1);
  EXPECT_EQ(result->items[1].title, "ninety");
  EXPECT_EQ(result->items[1].durationMin, 2);
  EXPECT_FALSE(result->truncated);
}

TEST_F(ActivityQueryTest, ItemsCarryWallClockTimesAndIdsOfTheirRowKey) {
  double start = local(2025, 3, 1, 10, 50);
  auto result = run(days("2025-03-01", "2025-03-01"),
                    {span(start, local(2025, 3, 1, 11), "Doc", S("docs.example"))}, farFuture_);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->items.size(), 1u);
  const ActivityItem& item = result->items[0];
  EXPECT_EQ(item.start, "2025-03-01T10:50");
  EXPECT_EQ(item.end, "2025-03-01T11:00");
  EXPECT_EQ(item.app, "Editor");
  EXPECT_EQ(item.domain, S("docs.example"));
  EXPECT_EQ(item.durationMin, 10);
  HourRow row{"com.example.editor", "Editor", "Doc", S("docs.example"), 600, start, start + 600};
  EXPECT_EQ(item.id, fakeItemId(ActivityQuery::rowKey(local(2025, 3, 1, 10), row)));
  EXPECT_EQ(item.toJson()["domain"], "docs.example");
  ActivityItem withoutDomain = item;
  withoutDomain.domain.reset();
  EXPECT_FALSE(withoutDomain.toJson().contains("domain"));
}

TEST_F(ActivityQueryTest, RowKeyJoinsWholeHourAndIdentityWithUnitSeparators) {
  HourRow row{"com.example.app", "App", "Doc", S(), 1, 0, 0};
  EXPECT_EQ(ActivityQuery::rowKey(3600.0, row), std::string("item\x1f" "3600\x1f" "com.example.app\x1f" "Doc\x1f"));
  row.domain = "x.example";
  EXPECT_EQ(ActivityQuery::rowKey(-3599.9, row), std::string("item\x1f-3599\x1f" "com.example.app\x1f" "Doc\x1fx.example"));
  EXPECT_EQ(ActivityQuery::rowKey(1e20, row).substr(0, 27), std::string("item\x1f" "100000000000000000000\x1f"));
}

TEST_F(ActivityQueryTest, MoreThanFiftyRowsKeepTheLongestAndEarliest) {
  std::vector<ActivityInterval> intervals;
  double base = local(2025, 3, 1, 0);
  for (int i = 0; i < 51; ++i) {
    double start = base + i * 3600 + 60;
    intervals.push_back(span(start, start + (i == 10 ? 60 : 120), "T" + std::to_string(i)));
  }
  auto shortestOut = run(days("2025-03-01", "2025-03-03"), intervals, farFuture_);
  ASSERT_TRUE(shortestOut);
  EXPECT_TRUE(shortestOut->truncated);
  ASSERT_EQ(shortestOut->items.size(), 50u);
  for (const ActivityItem& item : shortestOut->items) EXPECT_NE(item.title, "T10");
  for (std::size_t i = 1; i < shortestOut->items.size(); ++i) {
    EXPECT_LT(shortestOut->items[i - 1].start, shortestOut->items[i].start);
  }

  intervals[10].end = intervals[10].start + 120;
  auto latestOut = run(days("2025-03-01", "2025-03-03"), intervals, farFuture_);
  ASSERT_TRUE(latestOut);
  ASSERT_EQ(latestOut->items.size(), 50u);
  EXPECT_EQ(latestOut->items.back().title, "T49");

  // A row whose title is too long to answer is left out and does not count.
  intervals[50].title = repeat("x", 401);
  auto overlong = run(days("2025-03-01", "2025-03-03"), intervals, farFuture_);
  ASSERT_TRUE(overlong);
  EXPECT_EQ(overlong->items.size(), 50u);
  EXPECT_FALSE(overlong->truncated);
}

TEST_F(ActivityQueryTest, OnlyTimeUpToNowIsAnswered) {
  std::vector<ActivityInterval> intervals{span(local(2025, 3, 1, 9), local(2025, 3, 1, 11))};
  double now = local(2025, 3, 1, 10);
  auto future = run(days("2025-03-02", "2025-03-05"), intervals, now);
  ASSERT_TRUE(future);
  EXPECT_EQ(*future, ActivityQueryResult{});
  auto today = run(days("2025-03-01", "2025-03-01"), intervals, now);
  ASSERT_TRUE(today);
  ASSERT_EQ(today->items.size(), 1u);
  EXPECT_EQ(today->items[0].end, "2025-03-01T10:00");
  EXPECT_EQ(today->items[0].durationMin, 60);
  auto unknownNow = run(days("2025-03-01", "2025-03-01"), intervals, std::numeric_limits<double>::quiet_NaN());
  ASSERT_TRUE(unknownNow);
  EXPECT_TRUE(unknownNow->items.empty());
}

TEST_F(ActivityQueryTest, FiltersMatchNamesTitlesAndDomainsButNotPartsOfAppIds) {
  double nine = local(2025, 3, 1, 9);
  std::vector<ActivityInterval> intervals{
      span(nine, nine + 600, "Quarterly plan", S(), "com.example.Editor", "Text Editor"),
      span(nine + 600, nine + 1200, "News", S("news.example"), "org.mozilla.firefox", "Firefox")};
  struct Case {
    S app;
    S text;
    std::vector<std::string> titles;
  } cases[] = {
      {S("EDIT"), S(), {"Quarterly plan"}},
      {S("COM.EXAMPLE.EDITOR"), S(), {"Quarterly plan"}},
      {S("com.example"), S(), {}},
      {S(""), S(""), {"Quarterly plan", "News"}},
      {S(), S("QUARTERLY"), {"Quarterly plan"}},
      {S(), S("news.example"), {"News"}},
      {S(), S("firefox"), {"News"}},
      {S(), S("mozilla"), {}},
      {S("fox"), S("news"), {"News"}},
      {S("fox"), S("plan"), {}},
  };
  for (const auto& c : cases) {
    auto result = run(days("2025-03-01", "2025-03-01", c.app, c.text), intervals, farFuture_);
    ASSERT_TRUE(result);
    std::vector<std::string> titles;
    for (const auto& item : result->items) titles.push_back(item.title);
    EXPECT_EQ(titles, c.titles) << c.app.value_or("-") << " / " << c.text.value_or("-");
  }
}

TEST_F(ActivityQueryTest, ItemsAreOrderedByStartThenLongerFirst) {
  double nine = local(2025, 3, 1, 9);
  std::vector<ActivityInterval> intervals{span(nine + 600, nine + 700, "late"), span(nine, nine + 120, "short"),
                                          span(nine, nine + 300, "long", S(), "com.example.other", "Other")};
  auto result = run(days("2025-03-01", "2025-03-01"), intervals, farFuture_);
  ASSERT_TRUE(result);
  std::vector<std::string> titles;
  for (const auto& item : result->items) titles.push_back(item.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"long", "short", "late"}));
}

TEST_F(ActivityQueryTest, WallClockTextsAreCheckedByHand) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"2025-03-01T09:05", true},  {"2024-02-29T00:00", true},  {"2000-02-29T23:59", true},
      {"0000-01-01T00:00", true},  {"2025-02-29T00:00", false}, {"1900-02-29T00:00", false},
      {"2025-04-31T00:00", false}, {"2025-03-01T24:00", false}, {"2025-03-01T23:60", false},
      {"2025-00-01T00:00", false}, {"2025-03-00T00:00", false}, {"２０２５-03-01T09:05", false},
      {"2025-03-01 09:05", false}, {"-001-03-01T09:05", false}, {"2025-03-01T09:05Z", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ActivityQuery::isWallClock(c.text), c.valid) << c.text;
  EXPECT_EQ(ActivityQuery::wallClock(local(2025, 3, 1, 9, 5, 59), shanghai_), "2025-03-01T09:05");
  EXPECT_FALSE(ActivityQuery::isWallClock(ActivityQuery::wallClock(std::numeric_limits<double>::quiet_NaN(), shanghai_)));
}

std::string describe(const ActivityQueryArgs& args, double now) {
  return args.from + ".." + args.to + " app=" + args.app.value_or("-") + " text=" + args.text.value_or("-") +
         " now=" + std::to_string(now);
}

// Items are made only for the rows kept and ordered by partial sorts: the answers must
// stay those of making every item and sorting stably.
TEST_F(ActivityQueryTest, AnswersAsTheStraightforwardQueryDoes) {
  const auto intervals = activitySampleRecord();
  int truncated = 0;
  int whole = 0;
  for (const Calendar* calendar : {&berlin_, &shanghai_}) {
    for (double now : {kSampleRecordEnd + 86400, kSampleRecordStart + 4.5 * 86400}) {
      for (const ActivityQueryArgs& args : activitySampleQueries()) {
        auto answer = ActivityQuery::run(args, intervals, now, *calendar, &fakeItemId);
        EXPECT_EQ(answer, ActivityQueryReference::run(args, intervals, now, *calendar, &fakeItemId))
            << describe(args, now);
        if (answer && answer->truncated) ++truncated;
        if (answer && !answer->truncated && !answer->items.empty()) ++whole;
      }
    }
  }
  // The record is varied enough to answer both ways.
  EXPECT_GT(truncated, 10);
  EXPECT_GT(whole, 10);

  // Rows that tie on every sort key, more than are kept: which ones stay, and their
  // order, is the order they were collected in.
  std::vector<ActivityInterval> tied;
  for (int i = 0; i < 70; ++i) {
    const double start = local(2025, 3, 1, 9 + i / 35);
    tied.push_back(span(start, start + 600, "Doc", "d" + std::to_string(i), i % 2 ? "com.a" : "com.b"));
  }
  auto answer = run(days("2025-03-01", "2025-03-01"), tied, farFuture_);
  ASSERT_TRUE(answer && answer->truncated);
  EXPECT_EQ(answer, ActivityQueryReference::run(days("2025-03-01", "2025-03-01"), tied, farFuture_, shanghai_,
                                                &fakeItemId));
}

// Near the ends of the four-digit years the wall clocks are made and checked for every
// row, as before; a row ending in the year 10000 shows its start as its end.
TEST_F(ActivityQueryTest, AnswersAtTheEndsOfTheYearsAsTheStraightforwardQueryDoes) {
  const Calendar utc = *Calendar::gregorian("UTC");
  for (const Calendar* calendar : {&utc, static_cast<const Calendar*>(&shanghai_), static_cast<const Calendar*>(&berlin_)}) {
    std::vector<ActivityInterval> intervals;
    for (const CivilFields& at : {CivilFields{9999, 12, 31, 22, 50, 0}, CivilFields{9999, 12, 31, 23, 30, 0},
                                  CivilFields{1, 1, 1, 0, 10, 0}, CivilFields{0, 12, 31, 23, 0, 0},
                                  CivilFields{1, 1, 2, 3, 0, 0}}) {
      const double start = *calendar->date(at);
      intervals.push_back(span(start, start + 3600, "T" + std::to_string(intervals.size())));
    }
    for (const ActivityQueryArgs& args : {days("9999-12-31", "9999-12-31"), days("9999-12-30", "9999-12-31"),
                                          days("0001-01-01", "0001-01-02"), days("0000-12-31", "0001-01-01"),
                                          days("0000-01-01", "0001-12-31")}) {
      EXPECT_EQ(ActivityQuery::run(args, intervals, 1e15, *calendar, &fakeItemId),
                ActivityQueryReference::run(args, intervals, 1e15, *calendar, &fakeItemId))
          << describe(args, 1e15);
    }
  }
}

}  // namespace
}  // namespace tovarin
