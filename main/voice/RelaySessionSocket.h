#pragma once

#include <memory>
#include <string>

#include "base/SerialQueue.h"
#include "base/WebSocketClient.h"

namespace tovarin {

// The socket a relay session (dictation or streamed speech) talks through, and whether
// that session is over. Lives on the session's queue: every call is made there, and the
// socket's events arrive there. The session that holds it is its listener.
class RelaySessionSocket final {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    // Only while the session is not over.
    virtual void relayMessage(const WebSocketMessage& message) = 0;
    // The socket ended before the session did; the session is now over.
    virtual void relayLost(std::string code) = 0;
  };

  explicit RelaySessionSocket(SerialQueue& queue) : queue_(queue) {}

  // The listener is held weakly: once its session is dropped, nothing more is heard.
  void open(WebSocketRequest request, WebSocketClient& client, std::weak_ptr<Listener> listener);

  // Open and not over: the session may still send.
  [[nodiscard]] bool isOpen() const { return !over_ && socket_; }
  void sendText(std::string text) { socket_->sendText(std::move(text)); }
  void sendBinary(std::string bytes) { socket_->sendBinary(std::move(bytes)); }

  // Nothing more is heard from the relay.
  void markOver() { over_ = true; }
  // Over, and the socket closed normally.
  void close();
  // Ends the session from this side with a last message, unless it is already over.
  void stop(std::string lastMessage);

  // The error code for a socket that failed with this handshake status (0: no response).
  static std::string failureCode(int httpStatus);

 private:
  void onMessage(Listener& listener, const WebSocketMessage& message);
  void onEnd(Listener& listener, const WebSocketEnd& end);

  SerialQueue& queue_;
  std::unique_ptr<WebSocketConnection> socket_;
  bool over_ = false;
};

}  // namespace tovarin
