#include "main/voice/RelayVoiceCloudSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/BeastHttpClient.h"
#include "base/BeastWebSocketClient.h"
#include "base/Json.h"
#include "main/voice/RelayVoiceCloudTransport.h"
#include "tests/support/Gate.h"
#include "tests/support/LoopbackWebSocketServer.h"
#include "tests/support/UpdateRecorder.h"

namespace tovarin {
namespace {

using Failed = VoiceCloudUpdate::Failed;
using Final = VoiceCloudUpdate::Final;
using Partial = VoiceCloudUpdate::Partial;
using Ready = VoiceCloudUpdate::Ready;

using Updates = UpdateRecorder<VoiceCloudUpdate>;

// What the relay side read from one dictation socket.
struct Received {
  std::vector<WebSocketMessage> messages;
  std::optional<uint16_t> closeCode;
  std::string target;
};

// Reads until the client closes or nothing comes for a while.
void readAll(LoopbackWebSocketPeer& peer, Received& received, double quietSeconds = 10) {
  while (auto message = peer.read(quietSeconds)) received.messages.push_back(std::move(*message));
  received.closeCode = peer.peerCloseCode();
}

std::string pcm(size_t bytes, char fill = 'a') { return std::string(bytes, fill); }

bool isEnd(const WebSocketMessage& message) { return !message.binary && message.data == R"({"type":"end"})"; }

class RelayVoiceCloudSessionTest : public ::testing::Test {
 protected:
  WebSocketRequest request(std::string path = "/api/voice/asr") {
    return WebSocketRequest{.url = "ws://127.0.0.1:" + std::to_string(server_->port()) + path, .headers = {}};
  }
  // Serves one handler; a new server replaces the last.
  void serve(LoopbackWebSocketServer::Handler handler) {
    auto handled = std::make_shared<Gate>();
    handled_ = handled;
    server_ = std::make_unique<LoopbackWebSocketServer>([handler = std::move(handler), handled](LoopbackWebSocketPeer& peer) {
      handler(peer);
      handled->open();
    });
  }
  // Lets the handler finish reading what the client sent before the server stops.
  void stopWhenHandled() {
    EXPECT_TRUE(handled_->wait());
    server_->stop();
  }

  BeastWebSocketClient client_;
  Updates updates_;
  std::shared_ptr<Gate> handled_;
  std::unique_ptr<LoopbackWebSocketServer> server_;
};

TEST_F(RelayVoiceCloudSessionTest, AudioBeforeReadyWaitsAndGoesOutInOrderThenTheEnd) {
  Gate audioQueued;
  Received received;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(audioQueued.wait());
    peer.sendText(R"({"type":"ready"})");
    while (auto message = peer.read()) {
      received.messages.push_back(*message);
      if (isEnd(*message)) break;
    }
    peer.sendText(R"({"type":"final","text":"你好","reason":"end"})");
    readAll(peer, received);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  session->send(pcm(4000, 'x'));  // one whole chunk waits, 800 bytes stay behind
  session->finish();              // the 800 bytes become a short last chunk
  session->send(pcm(3200));       // after finish: ignored
  session->finish();              // a second finish: nothing
  // Everything above is queued on the session before the relay can say ready.
  audioQueued.open();

  ASSERT_TRUE(updates_.waitFor(2));
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Ready{}, Final{"你好", "end"}}));
  stopWhenHandled();
  ASSERT_EQ(received.messages.size(), 3u);
  EXPECT_TRUE(received.messages[0].binary);
  EXPECT_EQ(received.messages[0].data, pcm(3200, 'x'));
  EXPECT_TRUE(received.messages[1].binary);
  EXPECT_EQ(received.messages[1].data, pcm(800, 'x'));
  EXPECT_TRUE(isEnd(received.messages[2]));
  EXPECT_EQ(received.closeCode, 1000);
}

TEST_F(RelayVoiceCloudSessionTest, StreamingSendsWholeChunksAsTheyFill) {
  Gate ready;
  Received received;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(R"({"type":"ready"})");
    ready.wait();
    while (auto message = peer.read()) {
      received.messages.push_back(*message);
      if (isEnd(*message)) break;
    }
    peer.sendText(R"({"type":"final"})");
    readAll(peer, received);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  ASSERT_TRUE(updates_.waitFor(1));
  ready.open();
  for (int i = 0; i < 10; ++i) session->send(pcm(1000, static_cast<char>('0' + i)));
  session->finish();
  ASSERT_TRUE(updates_.waitFor(2));
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Ready{}, Final{"", "final"}}));
  stopWhenHandled();

  std::vector<size_t> sizes;
  std::string audio;
  for (size_t i = 0; i + 1 < received.messages.size(); ++i) {
    EXPECT_TRUE(received.messages[i].binary);
    sizes.push_back(received.messages[i].data.size());
    audio += received.messages[i].data;
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{3200, 3200, 3200, 400}));
  std::string sent;
  for (int i = 0; i < 10; ++i) sent += pcm(1000, static_cast<char>('0' + i));
  EXPECT_EQ(audio, sent);
  ASSERT_FALSE(received.messages.empty());
  EXPECT_TRUE(isEnd(received.messages.back()));
}

TEST_F(RelayVoiceCloudSessionTest, AtMostTenSecondsOfAudioWaitForReady) {
  Gate audioQueued;
  Received received;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    ASSERT_TRUE(audioQueued.wait());
    peer.sendText(R"({"type":"ready"})");
    while (auto message = peer.read()) {
      received.messages.push_back(*message);
      if (isEnd(*message)) break;
    }
    peer.sendText(R"({"type":"final","text":"x"})");
    readAll(peer, received);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  for (int chunk = 0; chunk < 103; ++chunk) session->send(pcm(3200, static_cast<char>(chunk)));
  session->finish();
  audioQueued.open();
  ASSERT_TRUE(updates_.waitFor(2));
  stopWhenHandled();
  ASSERT_EQ(received.messages.size(), 101u);  // the first 100 chunks and the end
  for (int chunk = 0; chunk < 100; ++chunk) {
    ASSERT_EQ(received.messages[chunk].data, pcm(3200, static_cast<char>(chunk))) << chunk;
  }
  EXPECT_TRUE(isEnd(received.messages[100]));
}

TEST_F(RelayVoiceCloudSessionTest, RelayMessagesBecomeUpdates) {
  struct Case {
    std::vector<std::pair<bool, std::string>> frames;  // binary?, data
    std::vector<VoiceCloudUpdate> updates;
  };
  const std::vector<Case> cases = {
      {{{false, R"({"type":"ready"})"}, {true, R"({"type":"partial","text":"二进制"})"}, {false, R"({"type":"final","text":"好"})"}},
       {Ready{}, Partial{"二进制"}, Final{"好", "final"}}},
      {{{false, R"({"type":"partial"})"}, {false, "not json"}, {false, R"({"type":5})"}, {false, R"(["partial"])"},
        {false, R"({"type":"other"})"}, {false, R"({"type":"error","code":"daily-limit","message":"今天用完了"})"}},
       {Partial{""}, Failed{"daily-limit", "今天用完了"}}},
      {{{false, R"({"type":"error","code":"exploded","message":"坏了"})"}}, {Failed{"cloud-failed", "坏了"}}},
      {{{false, R"({"type":"error"})"}}, {Failed{"cloud-failed", std::nullopt}}},
      // Broken UTF-8 in a binary frame is repaired, not refused.
      {{{true, "{\"type\":\"partial\",\"text\":\"a\xFF" "b\"}"}, {false, R"({"type":"final","text":"x","reason":"silence"})"}},
       {Partial{"a\uFFFDb"}, Final{"x", "silence"}}},
  };
  for (const auto& c : cases) {
    Updates updates;
    Received received;
    serve([&](LoopbackWebSocketPeer& peer) {
      ASSERT_TRUE(peer.accept());
      for (const auto& [binary, data] : c.frames) binary ? peer.sendBinary(data) : peer.sendText(data);
      readAll(peer, received);
    });
    auto session = RelayVoiceCloudSession::create(request(), client_, updates.callback());
    ASSERT_TRUE(updates.waitFor(c.updates.size()));
    stopWhenHandled();
    EXPECT_EQ(updates.all(), c.updates) << c.frames.front().second;
    // The session closes normally after its last word, and sends nothing else.
    EXPECT_EQ(received.closeCode, 1000);
    EXPECT_TRUE(received.messages.empty());
  }
}

TEST_F(RelayVoiceCloudSessionTest, RefusedHandshakesMapToCodes) {
  const std::vector<std::pair<int, std::string>> cases = {
      {401, "signed-out"},       {429, "cloud-busy"},        {404, "cloud-unconfigured"},
      {400, "bad-request"},      {403, "bad-request"},       {499, "bad-request"},
      {500, "cloud-unavailable"}, {503, "cloud-unavailable"}, {200, "network"},
      {302, "network"},
  };
  for (const auto& [status, code] : cases) {
    Updates updates;
    serve([status = status](LoopbackWebSocketPeer& peer) { peer.refuse(status); });
    auto session = RelayVoiceCloudSession::create(request(), client_, updates.callback());
    session->send(pcm(3200));
    session->finish();
    ASSERT_TRUE(updates.waitFor(1)) << status;
    stopWhenHandled();
    EXPECT_EQ(updates.all(), (std::vector<VoiceCloudUpdate>{Failed{code, std::nullopt}})) << status;
  }
}

TEST_F(RelayVoiceCloudSessionTest, BrokenConnectionsAreNetworkFailures) {
  // Nobody listens on the port any more.
  serve([](LoopbackWebSocketPeer&) {});
  const auto refused = request();
  server_->stop();
  server_.reset();
  auto session = RelayVoiceCloudSession::create(refused, client_, updates_.callback());
  ASSERT_TRUE(updates_.waitFor(1));
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Failed{"network", std::nullopt}}));

  const std::vector<std::function<void(LoopbackWebSocketPeer&)>> endings = {
      [](LoopbackWebSocketPeer& peer) { peer.drop(); },
      [](LoopbackWebSocketPeer& peer) { peer.close(1000); },
      // One byte over the 64 KiB limit for incoming messages.
      [](LoopbackWebSocketPeer& peer) { peer.sendText(std::string(65537, 'a')); },
  };
  for (const auto& ending : endings) {
    Updates updates;
    serve([&](LoopbackWebSocketPeer& peer) {
      ASSERT_TRUE(peer.accept());
      peer.sendText(R"({"type":"ready"})");
      ending(peer);
      peer.read(2);
    });
    auto dropped = RelayVoiceCloudSession::create(request(), client_, updates.callback());
    ASSERT_TRUE(updates.waitFor(2));
    stopWhenHandled();
    EXPECT_EQ(updates.all(), (std::vector<VoiceCloudUpdate>{Ready{}, Failed{"network", std::nullopt}}));
  }
}

TEST_F(RelayVoiceCloudSessionTest, TheLargestAllowedMessageArrives) {
  const std::string text = R"({"type":"partial","text":")" + std::string(65536 - 28, 'a') + R"("})";
  ASSERT_EQ(text.size(), 65536u);
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(text);
    peer.read(10);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  ASSERT_TRUE(updates_.waitFor(1));
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Partial{std::string(65536 - 28, 'a')}}));
  session->cancel();
}

TEST_F(RelayVoiceCloudSessionTest, CancelSaysSoAndClosesWithoutAnUpdate) {
  Received received;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(R"({"type":"ready"})");
    readAll(peer, received);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  ASSERT_TRUE(updates_.waitFor(1));
  session->send(pcm(3200));
  session->cancel();
  session->send(pcm(3200));
  session->finish();
  session.reset();  // the engine lets go at once; the goodbye still goes out
  stopWhenHandled();
  ASSERT_EQ(received.messages.size(), 2u);
  EXPECT_TRUE(received.messages[0].binary);
  EXPECT_FALSE(received.messages[1].binary);
  EXPECT_EQ(received.messages[1].data, R"({"type":"cancel"})");
  EXPECT_EQ(received.closeCode, 1000);
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Ready{}}));
}

TEST_F(RelayVoiceCloudSessionTest, CancelAfterFinalSendsNothing) {
  Received received;
  serve([&](LoopbackWebSocketPeer& peer) {
    ASSERT_TRUE(peer.accept());
    peer.sendText(R"({"type":"final","text":"完"})");
    readAll(peer, received);
  });
  auto session = RelayVoiceCloudSession::create(request(), client_, updates_.callback());
  ASSERT_TRUE(updates_.waitFor(1));
  session->cancel();
  stopWhenHandled();
  EXPECT_TRUE(received.messages.empty());
  EXPECT_EQ(received.closeCode, 1000);
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Final{"完", "final"}}));
}

TEST_F(RelayVoiceCloudSessionTest, WithoutARequestTheSessionIsSignedOut) {
  auto session = RelayVoiceCloudSession::create(std::nullopt, client_, updates_.callback());
  session->send(pcm(3200));
  session->finish();
  session->cancel();
  ASSERT_TRUE(updates_.waitFor(1));
  EXPECT_EQ(updates_.all(), (std::vector<VoiceCloudUpdate>{Failed{"signed-out", std::nullopt}}));
}

TEST_F(RelayVoiceCloudSessionTest, TheTransportAsksForEnglishOnlyForEnglishLocales) {
  std::mutex mutex;
  std::vector<std::string> targets;
  serve([&](LoopbackWebSocketPeer& peer) {
    {
      std::lock_guard lock(mutex);
      targets.push_back(peer.request().target);
    }
    peer.refuse(404);
  });
  BeastHttpClient http;
  RelayVoiceCloudTransport transport(RelayVoiceCloudTransport::Routes::localServer(), http, client_, [&] {
    return std::optional<VoiceCloudTarget>(VoiceCloudTarget{server_->baseUrl(), {}});
  });
  std::vector<std::shared_ptr<VoiceCloudSession>> sessions;
  for (const char* locale : {"en-US", "EN", "zh-CN", "", "fr-FR"}) {
    sessions.push_back(transport.open(locale, updates_.callback()));
  }
  ASSERT_TRUE(updates_.waitFor(5));
  stopWhenHandled();
  std::sort(targets.begin(), targets.end());
  EXPECT_EQ(targets, (std::vector<std::string>{"/api/voice/asr", "/api/voice/asr", "/api/voice/asr",
                                               "/api/voice/asr?lang=en", "/api/voice/asr?lang=en"}));
  for (const auto& update : updates_.all()) EXPECT_EQ(update, VoiceCloudUpdate(Failed{"cloud-unconfigured", std::nullopt}));
}

}  // namespace
}  // namespace tovarin
