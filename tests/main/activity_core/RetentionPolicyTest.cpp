#include <gtest/gtest.h>

#include "main/activity_core/RetentionPolicy.h"

namespace tovarin {
namespace {

ActivityInterval span(std::string id, double start, double end) {
  return ActivityInterval{std::move(id), "com.example.editor", "Editor", "Doc", std::nullopt, start, end};
}

constexpr double now = 10'000'000;
constexpr double day = 86400;

TEST(RetentionPolicyTest, DaysAreHeldToOneThroughThirty) {
  struct Case {
    int64_t days;
    double cutoff;
  } cases[] = {{0, now - day}, {-5, now - day}, {1, now - day}, {7, now - 7 * day}, {30, now - 30 * day}, {45, now - 30 * day}};
  for (const auto& c : cases) EXPECT_EQ(RetentionPolicy::cutoff(now, c.days), c.cutoff) << c.days;
}

TEST(RetentionPolicyTest, RemovesWhatEndsByTheCutoffAndTrimsWhatStraddlesIt) {
  double cutoff = now - day;
  std::vector<ActivityInterval> intervals{
      span("ends-at-cutoff", cutoff - 100, cutoff), span("straddles", cutoff - 100, cutoff + 1),
      span("after", cutoff, cutoff + 50), span("old", cutoff - 500, cutoff - 400)};
  PruneOutcome outcome = RetentionPolicy::apply(intervals, now, 0);
  EXPECT_EQ(outcome.removed, 2);
  EXPECT_EQ(outcome.trimmed, 1);
  EXPECT_EQ(outcome.kept, (std::vector{span("straddles", cutoff, cutoff + 1), span("after", cutoff, cutoff + 50)}));
  EXPECT_EQ(RetentionPolicy::apply({}, now, 7), PruneOutcome{});
}

}  // namespace
}  // namespace tovarin
