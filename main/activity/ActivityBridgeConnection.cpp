#include "main/activity/ActivityBridgeConnection.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <array>
#include <cerrno>

#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityPeer.h"

namespace tovarin {
namespace {

// Accepted sockets start blocking on Linux: they do not inherit the listener's O_NONBLOCK.
void prepareSocket(int socket) {
  timeval timeout{};
  timeout.tv_sec = static_cast<time_t>(ActivityBridgeConnection::ioTimeoutSeconds);
  ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

}  // namespace

void ActivityBridgeConnection::serve() {
  prepareSocket(socket_);
  send(ActivityBridgeProtocol::encode(answer()));
}

ActivityBridgeReply ActivityBridgeConnection::answer() {
  if (!peerAllowed()) return ActivityBridgeReply::error(ActivityBridgeError::peerRejected);
  auto line = readRequest();
  if (auto* error = std::get_if<ActivityBridgeError>(&line)) return ActivityBridgeReply::error(*error);
  auto parsed = ActivityBridgeProtocol::parse(std::get<std::string>(line), token_);
  if (auto* error = std::get_if<ActivityBridgeError>(&parsed)) return ActivityBridgeReply::error(*error);
  return handler_(std::get<ActivityBridgeRequest>(parsed));
}

bool ActivityBridgeConnection::peerAllowed() const {
  auto peer = ActivityPeer::credentials(socket_);
  return peer && ActivityPeer::isSameUser(*peer) && peer->pid >= 1 && allowPeer_ && allowPeer_(peer->pid);
}

std::variant<std::string, ActivityBridgeError> ActivityBridgeConnection::readRequest() const {
  std::string buffer;
  std::array<char, readChunkBytes> chunk{};
  while (true) {
    if (buffer.size() > ActivityBridgeProtocol::maxRequestBytes) return ActivityBridgeError::tooLarge;
    const ssize_t received = ::recv(socket_, chunk.data(), chunk.size(), 0);
    if (received < 0 && errno == EINTR) continue;
    // End of stream, an error or the time-out: what arrived is the request.
    if (received <= 0) break;
    const size_t searchFrom = buffer.size();
    buffer.append(chunk.data(), static_cast<size_t>(received));
    if (size_t newline = buffer.find('\n', searchFrom); newline != std::string::npos) {
      buffer.resize(newline);
      return buffer;
    }
  }
  if (buffer.size() > ActivityBridgeProtocol::maxRequestBytes) return ActivityBridgeError::tooLarge;
  return buffer;
}

void ActivityBridgeConnection::send(const std::string& bytes) const {
  size_t sent = 0;
  while (sent < bytes.size()) {
    // MSG_NOSIGNAL: a peer that hung up must not end the program with SIGPIPE.
    const ssize_t written = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    sent += static_cast<size_t>(written);
  }
}

}  // namespace tovarin
