#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/SerialQueue.h"
#include "base/WebSocketClient.h"
#include "main/voice/RelaySessionSocket.h"
#include "main/voice/VoiceSpeakSession.h"
#include "main/voice/VoiceSpeakUpdate.h"

namespace tovarin {

// One streamed-speech socket to the relay: the start message at once, text in pieces
// of at most 400 scalars, PCM audio back. Every field below is touched only on queue_,
// and update_ is always called there.
class RelayVoiceSpeakSession final : public VoiceSpeakSession,
                                     public RelaySessionSocket::Listener,
                                     public std::enable_shared_from_this<RelayVoiceSpeakSession> {
 public:
  static constexpr const char* queueLabel = "cn.orvik.tovarin.voice.speak";
  static constexpr std::size_t maxMessageBytes = 1048576;

  using Update = std::function<void(VoiceSpeakUpdate)>;

  static std::shared_ptr<RelayVoiceSpeakSession> create(WebSocketRequest request, WebSocketClient& client,
                                                        int64_t voice, double rate, Update update);

  void send(std::string text) override;
  void end() override;
  void stop() override;

  // Private to create(); public for make_shared.
  explicit RelayVoiceSpeakSession(Update update);

 private:
  void connect(WebSocketRequest request, WebSocketClient& client, int64_t voice, double rate);
  void relayMessage(const WebSocketMessage& message) override;
  void relayLost(std::string code) override;
  void finishWith(VoiceSpeakUpdate update);

  SerialQueue queue_{queueLabel};
  Update update_;
  RelaySessionSocket socket_{queue_};
};

}  // namespace tovarin
