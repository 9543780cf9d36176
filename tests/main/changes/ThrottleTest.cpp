#include "main/changes/Throttle.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace tovarin {
namespace {

// Plays requests at the given times through a throttle the way its owner does (a
// trailing call is scheduled and later fired) and returns when calls happened.
std::vector<double> callTimes(double interval, const std::vector<double>& requests) {
  Throttle throttle(interval);
  std::vector<double> calls;
  std::multimap<double, int> trailing;
  auto fireTrailingUpTo = [&](double time) {
    while (!trailing.empty() && trailing.begin()->first <= time) {
      const double at = trailing.begin()->first;
      trailing.erase(trailing.begin());
      throttle.trailingFired(at);
      calls.push_back(at);
    }
  };
  for (double time : requests) {
    fireTrailingUpTo(time);
    auto decision = throttle.request(time);
    if (decision.action == Throttle::Action::now) calls.push_back(time);
    if (decision.action == Throttle::Action::later) trailing.emplace(time + decision.delay, 0);
  }
  fireTrailingUpTo(1e9);
  return calls;
}

struct Case {
  const char* name;
  double interval;
  std::vector<double> requests;
  std::vector<double> calls;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ThrottleTimes : public testing::TestWithParam<Case> {};

TEST_P(ThrottleTimes, CallsAtMostOncePerIntervalAndNeverLosesTheLast) {
  const Case& c = GetParam();
  auto calls = callTimes(c.interval, c.requests);
  ASSERT_EQ(calls.size(), c.calls.size()) << c.name;
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_NEAR(calls[i], c.calls[i], 1e-9) << c.name << " call " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, ThrottleTimes,
    testing::Values(
        Case{"isolated request runs at once", 2.0, {5.0}, {5.0}},
        Case{"burst of five against 2 s", 2.0, {0, 0.2, 0.4, 0.6, 0.8}, {0, 2.0}},
        Case{"burst of five against 0.5 s", 0.5, {0, 0.2, 0.4, 0.6, 0.8}, {0, 0.5, 1.0}},
        Case{"exactly one interval later runs at once", 2.0, {0, 2.0}, {0, 2.0}},
        Case{"just inside the interval waits for its end", 2.0, {0, 1.999}, {0, 2.0}},
        Case{"trailing call restarts the interval", 0.5, {0, 0.1, 0.6}, {0, 0.5, 1.0}},
        Case{"long quiet after a trailing call runs at once", 0.5, {0, 0.1, 3.0}, {0, 0.5, 3.0}},
        Case{"steady storm gives one call per interval", 0.5, {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1},
             {0, 0.5, 1.0, 1.5}}),
    [](const testing::TestParamInfo<Case>& info) { return "Case" + std::to_string(info.index); });

TEST(ThrottleTest, TheFirstRequestIsNeverHeldBack) {
  // Monotonic clocks may start anywhere, even at zero or below.
  for (double start : {-1e6, 0.0, 0.1, 1e9}) {
    Throttle throttle(2.0);
    EXPECT_EQ(throttle.request(start).action, Throttle::Action::now) << start;
  }
}

TEST(ThrottleTest, AClockGoingBackwardsHoldsACallBackOneIntervalAtMost) {
  Throttle throttle(2.0);
  ASSERT_EQ(throttle.request(1000.0).action, Throttle::Action::now);
  auto decision = throttle.request(1000.0 - 3600.0);
  EXPECT_EQ(decision.action, Throttle::Action::later);
  EXPECT_LE(decision.delay, 2.0);
  EXPECT_GE(decision.delay, 0.0);
}

}  // namespace
}  // namespace tovarin
