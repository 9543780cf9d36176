#include "main/voice/RelayVoiceCloudTransport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "base/Base64.h"
#include "base/BeastHttpClient.h"
#include "base/BeastWebSocketClient.h"
#include "base/Json.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackServer.h"

namespace tovarin {
namespace {

constexpr const char* kStatus =
    R"({"asr":{"available":true,"remainingSeconds":300},"tts":{"available":true},"notice":{"accepted":true},
        "speak":{"available":true,"voices":[{"id":601000,"label":"知性女声"}],"defaultVoice":601000}})";

class RelayVoiceCloudTransportTest : public ::testing::Test {
 protected:
  std::shared_ptr<RelayVoiceCloudTransport> makeTransport(const LoopbackServer& server) {
    return std::make_shared<RelayVoiceCloudTransport>(
        RelayVoiceCloudTransport::Routes::localServer(), http_, sockets_,
        [base = server.baseUrl()] { return std::optional<VoiceCloudTarget>(VoiceCloudTarget{base, {}}); });
  }
  std::optional<VoiceCloudStatus> refresh(RelayVoiceCloudTransport& transport) {
    std::promise<std::optional<VoiceCloudStatus>> answer;
    transport.refreshStatus([&](std::optional<VoiceCloudStatus> status) { answer.set_value(std::move(status)); });
    auto future = answer.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return future.get();
  }
  VoiceSynthesisResult synthesize(RelayVoiceCloudTransport& transport, const std::string& text = "你好") {
    std::promise<VoiceSynthesisResult> answer;
    auto handle = transport.synthesize(text, 1.25, "zh-CN", [&](VoiceSynthesisResult result) { answer.set_value(std::move(result)); });
    auto future = answer.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return future.get();
  }

  BeastHttpClient http_;
  BeastWebSocketClient sockets_;
};

TEST_F(RelayVoiceCloudTransportTest, StatusRefreshReplacesTheCacheOnlyWithAnAnswer) {
  std::mutex mutex;
  std::vector<std::pair<int, std::string>> answers = {
      {500, "{}"}, {200, kStatus}, {500, "{}"}, {200, "{}"}, {200, ""}, {404, "{}"}, {401, "{}"}};
  size_t next = 0;
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    std::pair<int, std::string> answer;
    {
      std::lock_guard lock(mutex);
      answer = answers[next++];
    }
    connection.respond(answer.first, answer.second);
  });
  auto transport = makeTransport(server);
  const auto parsed = VoiceCloudStatus::parse(kStatus);

  EXPECT_EQ(transport->status(), std::nullopt);
  EXPECT_EQ(refresh(*transport), std::nullopt);  // 500 with nothing cached yet
  EXPECT_EQ(refresh(*transport), parsed);
  EXPECT_EQ(refresh(*transport), parsed);  // 500 keeps it
  EXPECT_EQ(refresh(*transport), parsed);  // a body that is no status keeps it
  EXPECT_EQ(refresh(*transport), parsed);  // so does an empty one
  EXPECT_EQ(refresh(*transport), VoiceCloudStatus::unconfigured);
  EXPECT_EQ(refresh(*transport), VoiceCloudStatus::signedOut);
  EXPECT_EQ(transport->status(), VoiceCloudStatus::signedOut);

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), answers.size());
  for (const auto& request : requests) {
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/api/voice/status");
    EXPECT_FALSE(request.header("Cookie"));
  }
}

TEST_F(RelayVoiceCloudTransportTest, WithoutATargetEverythingIsSignedOutAtOnce) {
  RelayVoiceCloudTransport transport(RelayVoiceCloudTransport::Routes::localServer(), http_, sockets_,
                                     [] { return std::optional<VoiceCloudTarget>(); });
  const auto caller = std::this_thread::get_id();
  bool statusRan = false, synthesisRan = false;
  transport.refreshStatus([&](std::optional<VoiceCloudStatus> status) {
    statusRan = true;
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_EQ(status, VoiceCloudStatus::signedOut);
  });
  auto handle = transport.synthesize("x", 1, "zh-CN", [&](VoiceSynthesisResult result) {
    synthesisRan = true;
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_EQ(result.failure, VoiceFailure("signed-out"));
  });
  EXPECT_TRUE(statusRan && synthesisRan);
  EXPECT_EQ(transport.status(), VoiceCloudStatus::signedOut);
  EXPECT_EQ(transport.openSpeak(601000, 1, [](VoiceSpeakUpdate) {}), nullptr);
}

TEST_F(RelayVoiceCloudTransportTest, SynthesisAnswers) {
  const std::string audio = std::string("RIFF\0\0\0\0WAVE", 12) + "\xFF\x00\x7F";
  struct Case {
    int status;
    std::string body;
    VoiceSynthesisResult expected;
  };
  const std::vector<Case> cases = {
      {200, toJsonText(Json{{"audio", Base64::encode(audio)}}), {audio, std::nullopt}},
      {200, R"({"audio":""})", {{}, VoiceFailure("cloud-failed")}},
      {200, R"({"audio":"not base64!"})", {{}, VoiceFailure("cloud-failed")}},
      {200, R"({"audio":12,"code":"busy"})", {{}, VoiceFailure("busy")}},
      {200, "[1]", {{}, VoiceFailure("cloud-failed")}},
      {404, R"({"code":"busy"})", {{}, VoiceFailure("cloud-unconfigured")}},
      {401, "{}", {{}, VoiceFailure("signed-out")}},
      {429, R"({"code":"daily-limit"})", {{}, VoiceFailure("daily-limit")}},
      {500, R"({"code":"made-up"})", {{}, VoiceFailure("made-up")}},
      {500, R"({"code":5})", {{}, VoiceFailure("cloud-failed")}},
      {502, "bad gateway", {{}, VoiceFailure("cloud-failed")}},
      {200, "", {{}, VoiceFailure("network")}},
  };
  for (const auto& c : cases) {
    LoopbackServer server(LoopbackServer::answering(c.status, c.body));
    auto transport = makeTransport(server);
    EXPECT_EQ(synthesize(*transport), c.expected) << c.status << " " << c.body;
  }
}

TEST_F(RelayVoiceCloudTransportTest, SynthesisRequestShapeAndAnUnreachableRelay) {
  LoopbackServer server(LoopbackServer::answering(200, toJsonText(Json{{"audio", Base64::encode("abc")}})));
  auto transport = makeTransport(server);
  ASSERT_EQ(synthesize(*transport, "读\"这\"句").audio, "abc");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/voice/tts");
  EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
  EXPECT_EQ(parseJson(requests[0].body), (Json{{"text", "读\"这\"句"}, {"rate", 1.25}, {"locale", "zh-CN"}}));

  server.stop();
  EXPECT_EQ(synthesize(*transport).failure, VoiceFailure("network"));
}

TEST_F(RelayVoiceCloudTransportTest, ACancelledSynthesisNeverCompletes) {
  Gate release;
  LoopbackServer server([&](LoopbackConnection& connection) {
    auto request = connection.readRequest();
    if (!request) return;
    if (request->body.find("first") != std::string::npos) release.wait();
    connection.respond(200, toJsonText(Json{{"audio", Base64::encode("x")}}));
  });
  auto transport = makeTransport(server);
  std::atomic<bool> cancelledRan{false};
  auto handle = transport->synthesize("first", 1, "zh-CN", [&](VoiceSynthesisResult) { cancelledRan = true; });
  ASSERT_TRUE(server.waitForRequests(1));
  handle->cancel();
  release.open();
  // The relay's answer to the cancelled request is read before the next one is even
  // sent, and completions run in order on one queue.
  EXPECT_EQ(synthesize(*transport, "second").audio, "x");
  EXPECT_FALSE(cancelledRan);
}

TEST_F(RelayVoiceCloudTransportTest, AStatusAnswerAfterTheTransportIsGoneGivesNothing) {
  Gate release;
  LoopbackServer server([&](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    release.wait();
    connection.respond(200, kStatus);
  });
  auto transport = makeTransport(server);
  std::promise<std::optional<VoiceCloudStatus>> answer;
  transport->refreshStatus([&](std::optional<VoiceCloudStatus> status) { answer.set_value(std::move(status)); });
  ASSERT_TRUE(server.waitForRequests(1));
  transport.reset();
  release.open();
  auto future = answer.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(future.get(), std::nullopt);
}

}  // namespace
}  // namespace tovarin
