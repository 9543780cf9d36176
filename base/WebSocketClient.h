#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/HttpClient.h"
#include "base/TaskRunner.h"

namespace tovarin {

struct WebSocketRequest {
  std::string url;  // "ws://host:port/path?query"; only plain ws is spoken
  HttpHeaders headers;
  std::size_t maxMessageBytes = 65536;  // a longer incoming message ends the socket
  double handshakeTimeoutSeconds = 60;  // connecting included
};

struct WebSocketMessage {
  bool binary = false;
  std::string data;
};

struct WebSocketEnd {
  // The handshake's HTTP status: 101 once the socket was open, the refusal's status
  // (401, 429...), or 0 when no HTTP response arrived at all.
  int httpStatus = 0;
  std::string detail;  // why, for a log line
};

// What the socket tells its owner, in this order: onOpen at most once, onMessage for
// each whole message, then onEnd exactly once (refused, dropped, closed by either side,
// or a message over the size limit). A missing function is simply not called.
struct WebSocketHandlers {
  std::function<void()> onOpen;
  std::function<void(WebSocketMessage)> onMessage;
  std::function<void(WebSocketEnd)> onEnd;
};

// One socket. Sends may be queued before the socket is open; they go out in order once
// it is, and are dropped if it never opens. Safe to call from any thread.
class WebSocketConnection {
 public:
  virtual ~WebSocketConnection() = default;
  virtual void sendText(std::string text) = 0;
  virtual void sendBinary(std::string bytes) = 0;
  // Closes with the code once everything queued before it has been sent.
  virtual void close(uint16_t code) = 0;
  // Drops the socket; no handler runs afterwards, not even onEnd, when called on the
  // delivery queue. Destroying the connection cancels it, unless close() was called:
  // then what was queued and the close still go out, with no handler run.
  virtual void cancel() = 0;
};

// A WebSocket client. Never uses a proxy or cookies. Handlers run on the TaskRunner the
// caller names, never on the network thread; the runner must outlive the connection.
class WebSocketClient {
 public:
  virtual ~WebSocketClient() = default;
  [[nodiscard]] virtual std::unique_ptr<WebSocketConnection> open(WebSocketRequest request, TaskRunner& deliveryQueue,
                                                                 WebSocketHandlers handlers) = 0;
};

}  // namespace tovarin
