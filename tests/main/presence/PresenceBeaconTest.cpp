#include "main/presence/PresenceBeacon.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/Json.h"
#include "tests/support/FakeHttpClient.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

using Outcome = PresenceBeacon::Outcome;

class PresenceBeaconTest : public testing::Test {
 protected:
  ManualLoop loop_;
  FakeHttpClient http_;
  PresenceBeacon beacon_{4321, http_};
  std::vector<Outcome> outcomes_;
  void send() {
    beacon_.send(loop_, [this](Outcome outcome) {
      EXPECT_TRUE(loop_.isCurrent());
      outcomes_.push_back(outcome);
    });
  }
};

TEST_F(PresenceBeaconTest, PostsTheBodyToThePresenceEndpoint) {
  EXPECT_EQ(beacon_.endpoint(), "http://127.0.0.1:4321/api/account/reminders/presence");
  send();
  ASSERT_EQ(http_.requestCount(), 1u);
  const HttpRequest request = http_.request(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "http://127.0.0.1:4321/api/account/reminders/presence");
  EXPECT_EQ(request.headers, (HttpHeaders{{"content-type", "application/json"}}));
  EXPECT_EQ(request.body, R"({"surface":"mac"})");
  EXPECT_EQ(parseJson(request.body), (Json{{"surface", "mac"}}));
  EXPECT_DOUBLE_EQ(request.timeoutSeconds, 60.0);
}

TEST_F(PresenceBeaconTest, CompletesOnceOnTheCallersQueueWithTheAnswer) {
  send();
  loop_.runUntilIdle();
  EXPECT_TRUE(outcomes_.empty());
  http_.complete(0, FakeHttpClient::status(204));
  loop_.runUntilIdle();
  EXPECT_EQ(outcomes_, (std::vector<Outcome>{Outcome::reported}));
  loop_.advance(3600.0);  // the watchdog was disarmed
  EXPECT_EQ(outcomes_, (std::vector<Outcome>{Outcome::reported}));
}

TEST_F(PresenceBeaconTest, AClientThatNeverAnswersStillEndsInFailure) {
  send();
  loop_.advance(PresenceBeacon::requestTimeoutSeconds + PresenceBeacon::watchdogGraceSeconds - 0.001);
  EXPECT_TRUE(outcomes_.empty());
  loop_.advance(0.001);
  EXPECT_EQ(outcomes_, (std::vector<Outcome>{Outcome::failed}));
  // An answer that comes after all is not a second completion.
  http_.complete(0, FakeHttpClient::status(200));
  loop_.advance(1.0);
  EXPECT_EQ(outcomes_, (std::vector<Outcome>{Outcome::failed}));
}

TEST(PresenceBeaconOutcomeTest, OnlyAnHttpAnswerInTheSuccessRangeReports) {
  HttpResponse inconsistent;
  inconsistent.responded = false;
  inconsistent.status = 200;
  EXPECT_EQ(PresenceBeacon::outcomeOf(inconsistent), Outcome::failed);
  const std::vector<std::pair<int, Outcome>> table = {
      {100, Outcome::failed},   {199, Outcome::failed},       {200, Outcome::reported},
      {299, Outcome::reported}, {300, Outcome::failed},       {400, Outcome::failed},
      {401, Outcome::unauthorized}, {402, Outcome::failed},   {403, Outcome::unauthorized},
      {404, Outcome::failed},   {0, Outcome::failed},         {999, Outcome::failed}};
  for (const auto& [status, expected] : table) {
    EXPECT_EQ(PresenceBeacon::outcomeOf(FakeHttpClient::status(status)), expected) << status;
  }
}

}  // namespace
}  // namespace tovarin
