#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/WebSocketClient.h"
#include "tests/support/LoopbackServer.h"

namespace tovarin {

// The server side of one WebSocket connection, used on its own thread by the handler.
// Every wait ends when the server stops.
class LoopbackWebSocketPeer {
 public:
  virtual ~LoopbackWebSocketPeer() = default;
  // The upgrade request as it came (target with query, headers).
  virtual const LoopbackRequest& request() const = 0;
  // Completes the upgrade with 101; false when the peer is gone.
  virtual bool accept() = 0;
  // Answers the upgrade with an ordinary HTTP response and closes.
  virtual void refuse(int status, std::string body = "{}") = 0;
  // The next whole message; nothing on close, error, stop or timeout.
  virtual std::optional<WebSocketMessage> read(double timeoutSeconds = 10) = 0;
  // The close code the client sent, once read() saw its close frame.
  virtual std::optional<uint16_t> peerCloseCode() const = 0;
  virtual bool sendText(std::string text) = 0;
  virtual bool sendBinary(std::string bytes) = 0;
  virtual void close(uint16_t code = 1000) = 0;
  // Drops the TCP connection without a close frame.
  virtual void drop() = 0;
};

// A WebSocket peer on 127.0.0.1 for tests, over Beast: one accept thread and one thread
// per connection running the handler. stop() (or the destructor) joins them all.
class LoopbackWebSocketServer final {
 public:
  using Handler = std::function<void(LoopbackWebSocketPeer&)>;
  explicit LoopbackWebSocketServer(Handler handler);
  ~LoopbackWebSocketServer();
  LoopbackWebSocketServer(const LoopbackWebSocketServer&) = delete;
  LoopbackWebSocketServer& operator=(const LoopbackWebSocketServer&) = delete;

  uint16_t port() const { return port_; }
  std::string baseUrl() const;  // "http://127.0.0.1:<port>"
  void stop();

 private:
  struct State;
  void acceptLoop();

  Handler handler_;
  std::shared_ptr<State> state_;
  uint16_t port_ = 0;
  std::thread acceptThread_;
  std::mutex mutex_;
  std::list<std::thread> connections_;  // mutex_
};

}  // namespace tovarin
