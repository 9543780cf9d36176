#include "main/voice/RelayVoiceSpeakSession.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "base/BeastWebSocketClient.h"
#include "base/Json.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackWebSocketServer.h"
#include "tests/support/UpdateRecorder.h"

namespace tovarin {
namespace {

using Audio = VoiceSpeakUpdate::Audio;
using Done = VoiceSpeakUpdate::Done;
using Failed = VoiceSpeakUpdate::Failed;
using Ready = VoiceSpeakUpdate::Ready;

using SpeakUpdates = UpdateRecorder<VoiceSpeakUpdate>;

class RelayVoiceSpeakSessionTest : public ::testing::Test {
 protected:
  // Serves one handler; the handler's end is awaited before the server stops.
  void serve(LoopbackWebSocketServer::Handler handler) {
    handled_ = std::make_shared<Gate>();
    server_ = std::make_unique<LoopbackWebSocketServer>([handler = std::move(handler), handled = handled_](LoopbackWebSocketPeer& peer) {
      handler(peer);
      handled->open();
    });
  }
  void stopWhenHandled() {
    EXPECT_TRUE(handled_->wait());
    server_->stop();
  }
  std::shared_ptr<RelayVoiceSpeakSession> open(int64_t voice = 601000, double rate = 1.25) {
    return RelayVoiceSpeakSession::create(
        {.url = "ws://127.0.0.1:" + std::to_string(server_->port()) + "/api/voice/speak", .headers = {}}, client_, voice,
        rate, updates_.callback());
  }

  BeastWebSocketClient client_;
  SpeakUpdates updates_;
  std::shared_ptr<Gate> handled_;
  std::unique_ptr<LoopbackWebSocketServer> server_;
};

TEST_F(RelayVoiceSpeakSessionTest, StartTextPiecesAndEndGoOutInOrder) {
  std::vector<Json> got;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(R"({"type":"ready"})");
    while (auto message = peer.read()) {
      got.push_back(parseJson(message->data).value_or(Json()));
      if (got.back()["type"] == "end") break;
    }
    peer.sendBinary(std::string("\x01\x02\x03", 3));
    peer.sendText(R"({"type":"done"})");
    peer.read(5);
  });
  auto session = open(7, 1.25);
  std::string long_text;
  for (int i = 0; i < 450; ++i) long_text += "字";
  session->send("  \n ");   // only white space: nothing goes out
  session->send(" 你好。 ");
  session->send(long_text);  // more than one message can hold
  session->end();
  ASSERT_TRUE(updates_.waitFor(3));
  stopWhenHandled();
  EXPECT_EQ(updates_.all(), (std::vector<VoiceSpeakUpdate>{Ready{}, Audio{std::string("\x01\x02\x03", 3)}, Done{0, "final"}}));
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], (Json{{"type", "start"}, {"voice", 7}, {"rate", 1.25}}));
  EXPECT_EQ(got[1], (Json{{"type", "text"}, {"text", "你好。"}}));
  EXPECT_EQ(got[2]["text"].get<std::string>().size(), 400u * 3);
  EXPECT_EQ(got[3]["text"].get<std::string>().size(), 50u * 3);
  EXPECT_EQ(got[4], (Json{{"type", "end"}}));
}

TEST_F(RelayVoiceSpeakSessionTest, RelayWordsAndBrokenSockets) {
  struct Case {
    std::function<void(LoopbackWebSocketPeer&)> relay;
    std::vector<VoiceSpeakUpdate> updates;
  };
  const std::vector<Case> cases = {
      {[](LoopbackWebSocketPeer& peer) { peer.sendText(R"({"type":"done","chars":12,"reason":"end"})"); },
       {Done{12, "end"}}},
      {[](LoopbackWebSocketPeer& peer) {
         peer.sendText("nonsense");
         peer.sendText(R"({"type":"error","code":"voice-missing","message":"没有这个声音"})");
       },
       {Failed{"voice-missing", "没有这个声音"}}},
      {[](LoopbackWebSocketPeer& peer) { peer.sendText(R"({"type":"error"})"); }, {Failed{"cloud-failed", std::nullopt}}},
      {[](LoopbackWebSocketPeer& peer) { peer.drop(); }, {Failed{"network", std::nullopt}}},
  };
  for (const auto& c : cases) {
    SpeakUpdates updates;
    serve([&](LoopbackWebSocketPeer& peer) {
      ASSERT_TRUE(peer.accept());
      c.relay(peer);
      peer.read(5);
    });
    auto session = RelayVoiceSpeakSession::create(
        {.url = "ws://127.0.0.1:" + std::to_string(server_->port()) + "/", .headers = {}}, client_, 601000, 1.0,
        updates.callback());
    ASSERT_TRUE(updates.waitFor(c.updates.size()));
    stopWhenHandled();
    EXPECT_EQ(updates.all(), c.updates);
  }
  SpeakUpdates refused;
  serve([](LoopbackWebSocketPeer& peer) { peer.refuse(401); });
  auto session = RelayVoiceSpeakSession::create(
      {.url = "ws://127.0.0.1:" + std::to_string(server_->port()) + "/", .headers = {}}, client_, 601000, 1.0,
      refused.callback());
  ASSERT_TRUE(refused.waitFor(1));
  EXPECT_EQ(refused.all(), (std::vector<VoiceSpeakUpdate>{Failed{"signed-out", std::nullopt}}));
}

TEST_F(RelayVoiceSpeakSessionTest, StopSaysSoClosesAndGivesNothingMore) {
  std::vector<std::string> got;
  std::optional<uint16_t> closeCode;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(R"({"type":"ready"})");
    while (auto message = peer.read()) got.push_back(message->data);
    closeCode = peer.peerCloseCode();
  });
  auto session = open();
  ASSERT_TRUE(updates_.waitFor(1));
  session->stop();
  session->send("不再发送");
  session->end();
  session.reset();
  stopWhenHandled();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(parseJson(got[0]).value_or(Json())["type"], "start");
  EXPECT_EQ(got[1], R"({"type":"stop"})");
  EXPECT_EQ(closeCode, 1000);
  EXPECT_EQ(updates_.all(), (std::vector<VoiceSpeakUpdate>{Ready{}}));
}

}  // namespace
}  // namespace tovarin
