#include <gtest/gtest.h>

#include "main/activity_core/ClearPlanner.h"

namespace tovarin {
namespace {

ActivityInterval span(std::string id, double start, double end) {
  return ActivityInterval{std::move(id), "com.example.editor", "Editor", "Doc", std::nullopt, start, end};
}

constexpr double now = 10'000'000;
constexpr double day = 86400;

TEST(ClearPlannerTest, LastHourDeletesRecentTrimsStraddlingKeepsOlder) {
  double cutoff = now - 3600;
  std::vector<ActivityInterval> intervals{
      span("starts-at-cutoff", cutoff, now - 60), span("straddles", now - 61 * 60, now - 30 * 60),
      span("ends-at-cutoff", now - 7200, cutoff), span("future", now + 10, now + 20)};
  ClearOutcome outcome = ClearPlanner::apply(ClearRange::lastHour, intervals, now);
  EXPECT_EQ(outcome.deleted, 2);
  EXPECT_EQ(outcome.trimmed, 1);
  EXPECT_EQ(outcome.kept,
            (std::vector{span("straddles", now - 61 * 60, cutoff), span("ends-at-cutoff", now - 7200, cutoff)}));
}

TEST(ClearPlannerTest, AllDeletesEverythingAndCountsIt) {
  std::vector<ActivityInterval> intervals{span("a", 1, 2), span("b", now - 10, now)};
  EXPECT_EQ(ClearPlanner::apply(ClearRange::all, intervals, now), (ClearOutcome{{}, 2, 0}));
  EXPECT_EQ(ClearPlanner::cutoff(ClearRange::all, now), std::nullopt);
  EXPECT_EQ(ClearPlanner::apply(ClearRange::lastDay, {}, now), ClearOutcome{});
}

TEST(ClearPlannerTest, RangesHaveTheirLengthsAndRawValues) {
  struct Case {
    ClearRange range;
    std::optional<double> cutoff;
    const char* raw;
  } cases[] = {{ClearRange::last10Minutes, now - 600, "last10Minutes"},
               {ClearRange::lastHour, now - 3600, "lastHour"},
               {ClearRange::lastDay, now - day, "lastDay"},
               {ClearRange::all, std::nullopt, "all"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ClearPlanner::cutoff(c.range, now), c.cutoff) << c.raw;
    EXPECT_EQ(clearRangeFromRaw(c.raw), c.range);
  }
  EXPECT_EQ(clearRangeFromRaw("LastHour"), std::nullopt);
}

}  // namespace
}  // namespace tovarin
