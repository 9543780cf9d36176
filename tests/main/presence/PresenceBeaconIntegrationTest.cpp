#include "main/presence/PresenceBeacon.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "base/BeastHttpClient.h"
#include "base/Json.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

using Outcome = PresenceBeacon::Outcome;

struct Case {
  const char* name;
  std::function<std::unique_ptr<LoopbackServer>()> server;  // null: nothing listens
  Outcome expected;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::function<std::unique_ptr<LoopbackServer>()> answering(int status) {
  return [status] { return std::make_unique<LoopbackServer>(LoopbackServer::answering(status, R"({"ok":true})")); };
}

std::function<std::unique_ptr<LoopbackServer>()> handling(LoopbackServer::Handler handler) {
  return [handler] { return std::make_unique<LoopbackServer>(handler); };
}

class PresenceBeaconAnswers : public testing::TestWithParam<Case> {};

TEST_P(PresenceBeaconAnswers, EveryAnswerEndsInExactlyOneOutcome) {
  const Case& c = GetParam();
  ManualLoop loop;
  BeastHttpClient http;
  std::unique_ptr<LoopbackServer> server;
  uint16_t port;
  if (c.server) {
    server = c.server();
    port = server->port();
  } else {
    LoopbackServer gone(nullptr);
    port = gone.port();
  }
  PresenceBeacon beacon(port, http, 1.0);
  std::vector<Outcome> outcomes;
  beacon.send(loop, [&](Outcome outcome) { outcomes.push_back(outcome); });
  ASSERT_TRUE(loop.waitFor([&] { return !outcomes.empty(); }, 20));
  loop.waitFor([] { return false; }, 0.1);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{c.expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, PresenceBeaconAnswers,
    testing::Values(Case{"200", answering(200), Outcome::reported}, Case{"204", answering(204), Outcome::reported},
                    Case{"299", answering(299), Outcome::reported}, Case{"300", answering(300), Outcome::failed},
                    Case{"500", answering(500), Outcome::failed}, Case{"401", answering(401), Outcome::unauthorized},
                    Case{"403", answering(403), Outcome::unauthorized},
                    Case{"refused", nullptr, Outcome::failed},
                    Case{"reset", handling([](LoopbackConnection& connection) {
                           if (connection.readRequest()) connection.reset();
                         }),
                         Outcome::failed},
                    Case{"timeout", handling(nullptr), Outcome::failed},
                    Case{"not HTTP", handling([](LoopbackConnection& connection) {
                           if (connection.readRequest()) connection.write("SSH-2.0-OpenSSH\r\n");
                           connection.close();
                         }),
                         Outcome::failed}),
    [](const testing::TestParamInfo<Case>& info) { return "Case" + std::to_string(info.index); });

TEST(PresenceBeaconRequestTest, TheServerReceivesExactlyOnePostOfTheBody) {
  ManualLoop loop;
  BeastHttpClient http;
  LoopbackServer server(LoopbackServer::answering(204, ""));
  PresenceBeacon beacon(server.port(), http);
  std::optional<Outcome> outcome;
  beacon.send(loop, [&](Outcome result) { outcome = result; });
  ASSERT_TRUE(loop.waitFor([&] { return outcome.has_value(); }, 20));
  EXPECT_EQ(outcome, Outcome::reported);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/account/reminders/presence");
  EXPECT_EQ(requests[0].header("content-type"), "application/json");
  EXPECT_EQ(requests[0].header("content-length"), "17");
  EXPECT_EQ(requests[0].body, R"({"surface":"mac"})");
  EXPECT_EQ(parseJson(requests[0].body), (Json{{"surface", "mac"}}));
  EXPECT_EQ(requests[0].header("host"), "127.0.0.1:" + std::to_string(server.port()));
}

}  // namespace
}  // namespace tovarin
