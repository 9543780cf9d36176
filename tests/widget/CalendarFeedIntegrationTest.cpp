#include "widget/CalendarFeed.h"

#include <gtest/gtest.h>

#include "base/BeastHttpClient.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;

class CalendarFeedIntegrationTest : public ::testing::Test {
 protected:
  FeedResult fetchFrom(uint16_t port) {
    FeedRequest request;
    request.port = port;
    request.now = at(shanghai(), 2026, 3, 5, 10);
    request.device = shanghai();
    std::optional<FeedResult> result;
    int calls = 0;
    CalendarFeed::fetch(http_, loop_, request, [&](FeedResult answer) {
      ++calls;
      EXPECT_TRUE(loop_.isCurrent());
      result = std::move(answer);
    });
    EXPECT_TRUE(loop_.waitFor([&] { return result.has_value(); }, 20));
    EXPECT_EQ(calls, 1);
    return result.value_or(FeedFailure::malformed);
  }

  static std::optional<FeedFailure> failureOf(const FeedResult& result) {
    if (auto* failure = std::get_if<FeedFailure>(&result)) return *failure;
    return std::nullopt;
  }

  ManualLoop loop_;
  BeastHttpClient http_;
};

TEST_F(CalendarFeedIntegrationTest, EveryAnswerOfTheServerGivesItsResult) {
  struct Case {
    int status;
    std::string body;
    std::optional<FeedFailure> expected;
  };
  const Case cases[] = {
      {200, feedBody().dump(), std::nullopt},
      {200, "", FeedFailure::malformed},
      {200, "<html>", FeedFailure::malformed},
      {401, R"({"error":"ACCOUNT_STORAGE_LOCKED"})", FeedFailure::signedOut},
      {403, "", FeedFailure::locked},
      {409, R"({"error":"WIDGET_ACCOUNT_ZONE_NOT_PROJECTED"})", FeedFailure::zoneUnavailable},
      {409, R"({"error":"ACCOUNT_EPOCH_CHANGED"})", FeedFailure::accountChanged},
      {503, R"({"error":"WIDGET_ACCOUNT_ZONE_UNVERIFIED"})", FeedFailure::zoneUnverified},
      {503, "", FeedFailure::malformed},
      {204, "", FeedFailure::malformed},
      {500, "oops", FeedFailure::malformed},
  };
  for (const Case& c : cases) {
    LoopbackServer server(LoopbackServer::answering(c.status, c.body));
    FeedResult result = fetchFrom(server.port());
    EXPECT_EQ(failureOf(result), c.expected) << c.status << " " << c.body;
  }
}

TEST_F(CalendarFeedIntegrationTest, ThePlainGetAsksForTheWindowInTheDeviceZone) {
  LoopbackServer server(LoopbackServer::answering(200, feedBody().dump()));
  FeedResult result = fetchFrom(server.port());
  ASSERT_TRUE(std::holds_alternative<FeedData>(result));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/api/widget-feed?from=2026-03-03&to=2026-03-16");
  EXPECT_TRUE(requests[0].body.empty());
  EXPECT_EQ(requests[0].header("Authorization"), std::nullopt);
}

TEST_F(CalendarFeedIntegrationTest, NoAnswerAtAllIsUnreachable) {
  LoopbackServer closing([](LoopbackConnection& connection) {
    connection.readRequest();
    connection.close();
  });
  EXPECT_EQ(failureOf(fetchFrom(closing.port())), FeedFailure::unreachable);
  LoopbackServer resetting([](LoopbackConnection& connection) {
    connection.readRequest();
    connection.reset();
  });
  EXPECT_EQ(failureOf(fetchFrom(resetting.port())), FeedFailure::unreachable);
  EXPECT_EQ(failureOf(fetchFrom(LocalPorts::unused())), FeedFailure::unreachable);
}

}  // namespace
}  // namespace tovarin
