#include "main/presence/PresenceReporter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/FakeHttpClient.h"
#include "tests/support/FakePresenceProbe.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

class PresenceReporterTest : public testing::Test {
 protected:
  double elapsed() const { return loop_.now() - start_; }

  // Runs virtual time to `until` (seconds after the fixture started); every report
  // that goes out is answered at once with the next status of `answers` (0: no
  // response at all), or left hanging when the answers ran out.
  std::vector<double> run(double until, std::vector<int> answers = {}, double answerDelay = 0) {
    std::vector<double> sentAt;
    size_t answered = http_.requestCount();
    while (elapsed() < until) {
      loop_.advance(std::min(0.5, until - elapsed()));
      while (http_.requestCount() > answered) {
        // To the tenth of a second: answers that take time shift the stepping a little.
        sentAt.push_back(std::round(elapsed() * 10) / 10);
        if (answers.empty()) {
          ++answered;
          continue;
        }
        const int status = answers.front();
        answers.erase(answers.begin());
        if (answerDelay > 0) loop_.advance(answerDelay);
        http_.complete(answered++, status == 0 ? FakeHttpClient::noResponse() : FakeHttpClient::status(status));
        loop_.runUntilIdle();
      }
    }
    return sentAt;
  }

  ManualLoop loop_;
  const double start_ = loop_.now();
  FakeHttpClient http_;
  FakePresenceProbe probe_;
  std::shared_ptr<PresenceReporter> reporter_ = PresenceReporter::create(PresenceBeacon(4321, http_), probe_, loop_);
};

TEST_F(PresenceReporterTest, NothingHappensBeforeStart) {
  loop_.advance(600.0);
  EXPECT_EQ(http_.requestCount(), 0u);
  EXPECT_EQ(probe_.calls.load(), 0);
}

TEST_F(PresenceReporterTest, TheFirstTickComesOneSecondAfterStartThenEveryInterval) {
  probe_.locked = true;  // ticks send nothing, so the probe calls count the ticks
  reporter_->start();
  loop_.advance(0.999);
  EXPECT_EQ(probe_.calls.load(), 0);
  loop_.advance(0.001);
  EXPECT_EQ(probe_.calls.load(), 1);
  loop_.advance(59.999);
  EXPECT_EQ(probe_.calls.load(), 1);
  loop_.advance(0.001);
  EXPECT_EQ(probe_.calls.load(), 2);
  loop_.advance(600.0);
  EXPECT_EQ(probe_.calls.load(), 12);
}

TEST_F(PresenceReporterTest, AnActiveUserIsReportedOnTheFirstTick) {
  reporter_->start();
  EXPECT_EQ(run(1.0, {204}), (std::vector<double>{1.0}));
  ASSERT_EQ(http_.requestCount(), 1u);
  EXPECT_EQ(http_.request(0).url, "http://127.0.0.1:4321/api/account/reminders/presence");
}

struct AbsentCase {
  const char* name;
  std::optional<double> idle;
  std::optional<bool> locked;
  bool reports;
};

void PrintTo(const AbsentCase& c, std::ostream* out) { *out << c.name; }

class PresenceReporterPresence : public PresenceReporterTest, public testing::WithParamInterface<AbsentCase> {};

TEST_P(PresenceReporterPresence, ReportsOnlyWhenTheUserIsThere) {
  const AbsentCase& c = GetParam();
  probe_.idle = c.idle;
  probe_.locked = c.locked;
  reporter_->start();
  EXPECT_EQ(run(3600.0, {200}).empty(), !c.reports) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Facts, PresenceReporterPresence,
    testing::Values(AbsentCase{"active", 0.0, false, true}, AbsentCase{"locked", 0.0, true, false},
                    AbsentCase{"idle 300 s", 300.0, false, false}, AbsentCase{"idle 299.9 s", 299.9, false, true},
                    AbsentCase{"idle time unavailable", std::nullopt, false, false},
                    AbsentCase{"lock state unavailable", 0.0, std::nullopt, true}),
    [](const testing::TestParamInfo<AbsentCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(PresenceReporterTest, ASuccessHoldsTheNextReportForFiveMinutes) {
  reporter_->start();
  // 1 s, then the tick 300 s later (the ticks at 61 ... 241 are too soon).
  EXPECT_EQ(run(901.0, {200, 200, 200, 200}), (std::vector<double>{1.0, 301.0, 601.0, 901.0}));
}

TEST_F(PresenceReporterTest, FailuresBackOffDoublingAndASuccessResetsTheCount) {
  reporter_->start();
  // Fails at 1 (60 s), 61 (120 s), 181 (240 s); succeeds at 421; five minutes later
  // fails again and backs off 60 s only.
  EXPECT_EQ(run(800.0, {500, 0, 503, 200, 500, 200}), (std::vector<double>{1, 61, 181, 421, 721, 781}));
}

// Answers take a few milliseconds on a real connection. Dated by their arrival, the tick
// exactly one spacing later fell just short and reports came every six minutes.
TEST_F(PresenceReporterTest, AnswersThatTakeTimeKeepTheSpacingAtTheInterval) {
  reporter_->start();
  EXPECT_EQ(run(901.0, {200, 200, 200, 200}, 0.005), (std::vector<double>{1.0, 301.0, 601.0, 901.0}));
}

TEST_F(PresenceReporterTest, BackOffGapsAfterSlowFailuresAreOneAndTwoMinutes) {
  reporter_->start();
  EXPECT_EQ(run(400.0, {500, 500, 200}, 0.005), (std::vector<double>{1.0, 61.0, 181.0}));
}

TEST_F(PresenceReporterTest, UnauthorizedBacksOffHalfAnHourAndCountsAsAFailure) {
  reporter_->start();
  // Two failures, a 403 (1800 s), then a fourth failure: 480 s.
  EXPECT_EQ(run(2500.0, {500, 500, 403, 500, 200}), (std::vector<double>{1, 61, 181, 1981, 2461}));
}

TEST_F(PresenceReporterTest, NoSecondReportWhileOneIsInFlight) {
  reporter_->start();
  EXPECT_EQ(run(61.0).size(), 1u);  // unanswered over the 61 s tick
  EXPECT_EQ(http_.requestCount(), 1u);
  http_.complete(0, FakeHttpClient::status(200));
  loop_.runUntilIdle();
  // Dated by its tick at 1, not by the answer at 61: the next report goes out at the
  // first tick 300 s after it was sent.
  EXPECT_EQ(run(361.0, {200}), (std::vector<double>{301.0}));
}

TEST_F(PresenceReporterTest, AReportThatNeverReturnsCannotStopReportingForGood) {
  reporter_->start();
  run(2.0);
  ASSERT_EQ(http_.requestCount(), 1u);
  // The beacon gives up at 1 + 65 s and counts a failure, backing off 60 s from the
  // tick that sent it: the tick at 121 reports.
  EXPECT_EQ(run(181.0, {200}), (std::vector<double>{121.0}));
}

TEST_F(PresenceReporterTest, StopEndsTheTicksButKeepsTheCounts) {
  reporter_->start();
  EXPECT_EQ(run(30.0, {500}), (std::vector<double>{1.0}));
  reporter_->stop();
  const int ticks = probe_.calls.load();
  EXPECT_TRUE(run(100.0).empty());
  EXPECT_EQ(probe_.calls.load(), ticks);
  reporter_->start();
  // First tick at 101; the second failure in a row backs off 120 s: 221, not 161.
  EXPECT_EQ(run(221.0, {500, 200}), (std::vector<double>{101.0, 221.0}));
}

TEST_F(PresenceReporterTest, StartingTwiceKeepsOneTimer) {
  probe_.locked = true;
  reporter_->start();
  reporter_->start();
  loop_.advance(1.0);
  reporter_->start();
  loop_.advance(60.0);
  EXPECT_EQ(probe_.calls.load(), 2);
}

TEST_F(PresenceReporterTest, AReportInFlightStillSettlesAfterStop) {
  reporter_->start();
  run(2.0);
  reporter_->stop();
  loop_.runUntilIdle();
  http_.complete(0, FakeHttpClient::status(200));
  loop_.advance(3.0);  // settled at 2, reported then; now 5
  reporter_->start();  // ticks at 6, 66, ...: throttled until 305
  EXPECT_TRUE(run(305.0).empty());
  EXPECT_EQ(run(306.0, {200}), (std::vector<double>{306.0}));
}

TEST_F(PresenceReporterTest, AnAnswerAfterTheReporterIsGoneIsDropped) {
  reporter_->start();
  run(2.0);
  ASSERT_EQ(http_.requestCount(), 1u);
  reporter_.reset();
  http_.complete(0, FakeHttpClient::status(200));
  // Had any closure kept the reporter alive, its ticks would go on sending.
  loop_.advance(600.0);
  EXPECT_EQ(http_.requestCount(), 1u);
}

}  // namespace
}  // namespace tovarin
