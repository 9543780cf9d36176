#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/SerialQueue.h"
#include "base/WebSocketClient.h"
#include "main/voice/RelaySessionSocket.h"
#include "main/voice/VoiceCloudSession.h"
#include "main/voice/VoiceCloudUpdate.h"

namespace tovarin {

// One dictation socket to the relay. Audio leaves in 3,200-byte binary messages; whole
// chunks wait (up to 10 s of audio) until the relay says "ready". Every field below is
// touched only on queue_, and update_ is always called there.
class RelayVoiceCloudSession final : public VoiceCloudSession,
                                     public RelaySessionSocket::Listener,
                                     public std::enable_shared_from_this<RelayVoiceCloudSession> {
 public:
  static constexpr const char* queueLabel = "cn.orvik.tovarin.voice.cloud";
  static constexpr std::size_t maxWaitingBytes = 320000;

  using Update = std::function<void(VoiceCloudUpdate)>;

  // Without a request (nobody signed in) the session is closed from the start and
  // reports "signed-out".
  static std::shared_ptr<RelayVoiceCloudSession> create(std::optional<WebSocketRequest> request,
                                                        WebSocketClient& client, Update update);

  void send(std::string pcm) override;
  void finish() override;
  void cancel() override;

  // Private to create(); public for make_shared.
  explicit RelayVoiceCloudSession(Update update);

 private:
  void connect(WebSocketRequest request, WebSocketClient& client);
  void relayMessage(const WebSocketMessage& message) override;
  void relayLost(std::string code) override;
  void handle(const std::string& text);
  void finishWith(VoiceCloudUpdate update);
  void sendAudio(std::string pcm);
  void beginEnding();
  void deliver(std::string chunk);
  void flushWaiting();
  void sendEndIfDue();

  SerialQueue queue_{queueLabel};
  Update update_;
  RelaySessionSocket socket_{queue_};
  bool ready_ = false;
  bool ending_ = false;
  bool endSent_ = false;
  std::string partialChunk_;
  std::vector<std::string> waiting_;
  std::size_t waitingBytes_ = 0;
};

}  // namespace tovarin
