#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <variant>

#include "main/activity/ActivityBridgeError.h"
#include "main/activity/ActivityBridgeReply.h"
#include "main/activity/ActivityBridgeRequest.h"

namespace tovarin {

// One accepted bridge connection: checks the peer, reads one request line, answers it
// once and leaves closing to its owner. Blocking; runs on the bridge's accept thread.
class ActivityBridgeConnection final {
 public:
  using AllowPeer = std::function<bool(pid_t)>;
  using Handler = std::function<ActivityBridgeReply(const ActivityBridgeRequest&)>;

  static constexpr double ioTimeoutSeconds = 2.0;
  static constexpr size_t readChunkBytes = 4096;

  ActivityBridgeConnection(int socket, const std::string& token, const AllowPeer& allowPeer, const Handler& handler)
      : socket_(socket), token_(token), allowPeer_(allowPeer), handler_(handler) {}

  void serve();

 private:
  [[nodiscard]] bool peerAllowed() const;
  // The request line without its newline, or too_large.
  [[nodiscard]] std::variant<std::string, ActivityBridgeError> readRequest() const;
  [[nodiscard]] ActivityBridgeReply answer();
  void send(const std::string& bytes) const;

  const int socket_;
  const std::string& token_;
  const AllowPeer& allowPeer_;
  const Handler& handler_;
};

}  // namespace tovarin
