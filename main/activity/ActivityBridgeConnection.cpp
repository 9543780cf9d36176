#include "main/activity/ActivityBridgeConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityPeer.h"

namespace tovarin {
namespace {

// Whether the socket became ready for `events` within the time-out. Every read and
// write first tries without waiting: a request has usually arrived whole, and a reply
// fits the socket's buffer, so a connection mostly costs no wait and no set-up call.
bool waitFor(int socket, short events) {
  pollfd entry{socket, events, 0};
  while (true) {
    const int ready = ::poll(&entry, 1, static_cast<int>(ActivityBridgeConnection::ioTimeoutSeconds * 1000));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace

void ActivityBridgeConnection::serve() {
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
    const ssize_t received = ::recv(socket_, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(socket_, POLLIN)) continue;
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
    const ssize_t written = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(socket_, POLLOUT)) continue;
    if (written <= 0) return;
    sent += static_cast<size_t>(written);
  }
}

}  // namespace tovarin
