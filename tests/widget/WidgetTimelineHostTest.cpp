#include "widget/WidgetTimelineHost.h"

#include <gtest/gtest.h>

#include "tests/support/FakeHttpClient.h"
#include "tests/support/ManualLoop.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;

class WidgetTimelineHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wallClock_ = at(shanghai(), 2026, 3, 5, 15, 0);
    host_ = std::make_shared<WidgetTimelineHost>(
        WidgetTimelineHost::Environment{loop_, http_, [this] { return wallClock_; }, [this] { return port_; },
                                        shanghai()},
        [this](const CalendarEntry& entry) { shown_.push_back(entry); });
  }

  // Moves the wall clock and the loop's clock together, as time passing does.
  void pass(double seconds) {
    wallClock_ += seconds;
    loop_.advance(seconds);
  }

  void answer(std::size_t index, Json body = feedBody()) {
    HttpResponse response;
    response.responded = true;
    response.status = 200;
    response.body = body.dump();
    http_.complete(index, response);
    loop_.runUntilIdle();
  }

  ManualLoop loop_;
  FakeHttpClient http_;
  double wallClock_ = 0;
  int64_t port_ = 4999;
  std::vector<CalendarEntry> shown_;
  std::shared_ptr<WidgetTimelineHost> host_;
};

TEST_F(WidgetTimelineHostTest, ShowsEachEntryAtItsDateAndReloadsAfterHalfAnHour) {
  Json body = feedBody();
  body["calendarTimeZone"]["runtimeReady"] = false;  // read in the device's zone
  body["occurrences"][0]["startLocal"] = "2026-03-05T15:00";
  body["occurrences"][0]["endLocal"] = "2026-03-05T15:10";
  host_->start();
  ASSERT_EQ(http_.requestCount(), 1u);
  EXPECT_EQ(http_.request(0).url.rfind("http://127.0.0.1:4999/api/widget-feed?", 0), 0u);
  answer(0, body);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].date, wallClock_);

  pass(9 * 60);
  EXPECT_EQ(shown_.size(), 1u);
  pass(60);
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[1].date, at(shanghai(), 2026, 3, 5, 15, 10));
  EXPECT_EQ(http_.requestCount(), 1u);
  pass(20 * 60 - 1);
  EXPECT_EQ(http_.requestCount(), 1u);
  pass(2);
  EXPECT_EQ(http_.requestCount(), 2u);
}

TEST_F(WidgetTimelineHostTest, AFailureIsShownAndFetchedAgainAfterTenMinutes) {
  port_ = 123456;  // no port at all: fails before anything is sent
  host_->start();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].failure, FeedFailure::unreachable);
  EXPECT_EQ(host_->fetchesStarted(), 1);
  port_ = 4999;
  pass(599);
  EXPECT_EQ(http_.requestCount(), 0u);
  pass(2);
  EXPECT_EQ(http_.requestCount(), 1u);
}

TEST_F(WidgetTimelineHostTest, AReloadDuringAFetchFetchesOnceMoreAfterIt) {
  host_->start();
  host_->reload();
  host_->reload();
  EXPECT_EQ(http_.requestCount(), 1u);
  answer(0);
  EXPECT_EQ(http_.requestCount(), 2u);
  EXPECT_TRUE(shown_.empty());  // the older answer is not shown over the newer one
  answer(1);
  EXPECT_EQ(shown_.size(), 1u);
  host_->reload();
  EXPECT_EQ(http_.requestCount(), 3u);
}

TEST_F(WidgetTimelineHostTest, AWallClockThatJumpedIsNoticedWithinAMinuteOrAtOnceOnRecheck) {
  host_->start();
  answer(0);
  ASSERT_EQ(shown_.size(), 1u);
  // A suspended machine wakes two days later: the loop's clock did not move.
  wallClock_ += 2 * 86400;
  host_->recheck();
  EXPECT_EQ(http_.requestCount(), 2u);
  answer(1);
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[1].date, wallClock_);

  wallClock_ += 3 * 86400;
  loop_.advance(WidgetTimelineHost::maxWait);
  EXPECT_EQ(http_.requestCount(), 3u);
}

TEST_F(WidgetTimelineHostTest, AnAnswerAfterTheHostIsGoneIsDropped) {
  host_->start();
  host_.reset();
  answer(0);
  EXPECT_TRUE(shown_.empty());
}

}  // namespace
}  // namespace tovarin
