#include "main/presence/PresenceSchedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tovarin {
namespace {

constexpr double kNow = 50000.0;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct SkipCase {
  const char* name;
  PresenceFacts facts;
  std::optional<PresenceSkip> expected;
};

void PrintTo(const SkipCase& c, std::ostream* out) { *out << c.name; }

class PresenceSkipReason : public testing::TestWithParam<SkipCase> {};

TEST_P(PresenceSkipReason, FirstRuleThatHoldsWins) {
  const SkipCase& c = GetParam();
  EXPECT_EQ(PresenceSchedule::skipReason(c.facts, kNow), c.expected) << c.name;
  EXPECT_EQ(PresenceSchedule::shouldReport(c.facts, kNow), !c.expected.has_value()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PresenceSkipReason,
    testing::Values(
        SkipCase{"active, never reported", {0, false, {}, {}}, std::nullopt},
        SkipCase{"locked beats everything", {0, true, kNow - 1000, {}}, PresenceSkip::screenLocked},
        SkipCase{"locked and idle and backing off", {1000, true, kNow, kNow + 10}, PresenceSkip::screenLocked},
        SkipCase{"exactly 300 s idle", {300, false, {}, {}}, PresenceSkip::idle},
        SkipCase{"299.9 s idle still present", {299.9, false, {}, {}}, std::nullopt},
        SkipCase{"unknown idle time", {kInf, false, {}, {}}, PresenceSkip::idle},
        SkipCase{"NaN idle time", {std::nan(""), false, {}, {}}, PresenceSkip::idle},
        SkipCase{"idle beats backing off", {400, false, {}, kNow + 10}, PresenceSkip::idle},
        SkipCase{"backing off beats throttled", {0, false, kNow - 10, kNow + 10}, PresenceSkip::backingOff},
        SkipCase{"backoff ends exactly now", {0, false, {}, kNow}, std::nullopt},
        SkipCase{"backoff in the past", {0, false, kNow - 1000, kNow - 1}, std::nullopt},
        SkipCase{"299 s after the last report", {0, false, kNow - 299, {}}, PresenceSkip::throttled},
        SkipCase{"exactly 300 s after the last report", {0, false, kNow - 300, {}}, std::nullopt},
        SkipCase{"last report in the future (clock moved)", {0, false, kNow + 5, {}}, PresenceSkip::throttled}),
    [](const testing::TestParamInfo<SkipCase>& info) { return "Case" + std::to_string(info.index); });

struct BackoffCase {
  int failures;
  PresenceRefusal refusal;
  double seconds;
};

class PresenceBackoff : public testing::TestWithParam<BackoffCase> {};

TEST_P(PresenceBackoff, DoublesFromOneMinuteAndCapsAtTheFifth) {
  const BackoffCase& c = GetParam();
  EXPECT_DOUBLE_EQ(PresenceSchedule::backoff(c.failures, c.refusal, kNow), kNow + c.seconds)
      << c.failures << " failures";
}

INSTANTIATE_TEST_SUITE_P(Counts, PresenceBackoff,
                         testing::Values(BackoffCase{1, PresenceRefusal::failed, 60},
                                         BackoffCase{2, PresenceRefusal::failed, 120},
                                         BackoffCase{3, PresenceRefusal::failed, 240},
                                         BackoffCase{4, PresenceRefusal::failed, 480},
                                         BackoffCase{5, PresenceRefusal::failed, 960},
                                         BackoffCase{6, PresenceRefusal::failed, 960},
                                         BackoffCase{1000000, PresenceRefusal::failed, 960},
                                         BackoffCase{0, PresenceRefusal::failed, 60},
                                         BackoffCase{-3, PresenceRefusal::failed, 60},
                                         BackoffCase{1, PresenceRefusal::unauthorized, 1800},
                                         BackoffCase{5, PresenceRefusal::unauthorized, 1800},
                                         BackoffCase{0, PresenceRefusal::unauthorized, 1800}));

}  // namespace
}  // namespace tovarin
