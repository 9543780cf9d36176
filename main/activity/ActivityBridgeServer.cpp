#include "main/activity/ActivityBridgeServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tovarin {

// What the accept thread needs; it may outlive the server when stop() runs on it.
struct ActivityBridgeServer::Shared {
  Shared(std::string token, AllowPeer allowPeer, Handler handler)
      : token(std::move(token)), allowPeer(std::move(allowPeer)), handler(std::move(handler)) {}

  const std::string token;
  const AllowPeer allowPeer;
  const Handler handler;
  std::mutex activeMutex;
  int active = -1;  // activeMutex; the connection being served, so stop() can cut it short
};

namespace {

constexpr int kRetryAfterAcceptFailureMs = 100;

}  // namespace

ActivityBridgeServer::ActivityBridgeServer(std::string socketPath, std::string token, AllowPeer allowPeer,
                                           Handler handler)
    : socketPath_(std::move(socketPath)),
      shared_(std::make_shared<Shared>(std::move(token), std::move(allowPeer), std::move(handler))) {}

ActivityBridgeServer::~ActivityBridgeServer() { stop(); }

bool ActivityBridgeServer::isListening() const {
  std::lock_guard lock(lifecycleMutex_);
  return thread_.joinable();
}

std::optional<ActivityBridgeStartError> ActivityBridgeServer::start() {
  std::lock_guard lock(lifecycleMutex_);
  stopLocked();

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath_.size() > maxPathBytes || socketPath_.find('\0') != std::string::npos) {
    return ActivityBridgeStartError{ActivityBridgeStartError::Kind::pathTooLong, 0};
  }
  std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);

  // Close-on-exec from the start: no child may inherit the listening socket.
  const int listenSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenSocket < 0) return ActivityBridgeStartError{ActivityBridgeStartError::Kind::socket, errno};
  ::unlink(socketPath_.c_str());
  if (::bind(listenSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const int error = errno;
    ::close(listenSocket);
    return ActivityBridgeStartError{ActivityBridgeStartError::Kind::bind, error};
  }
  ::chmod(socketPath_.c_str(), 0600);
  if (::listen(listenSocket, backlog) != 0) {
    const int error = errno;
    ::close(listenSocket);
    ::unlink(socketPath_.c_str());
    return ActivityBridgeStartError{ActivityBridgeStartError::Kind::listen, error};
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const int error = errno;
    ::close(listenSocket);
    ::unlink(socketPath_.c_str());
    return ActivityBridgeStartError{ActivityBridgeStartError::Kind::listen, error};
  }
  wake_ = wake;
  thread_ = std::thread(&ActivityBridgeServer::acceptLoop, shared_, listenSocket, wake);
  return std::nullopt;
}

void ActivityBridgeServer::stop() {
  std::lock_guard lock(lifecycleMutex_);
  stopLocked();
}

void ActivityBridgeServer::stopLocked() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  (void)!::write(wake_, &one, sizeof(one));
  if (thread_.get_id() == std::this_thread::get_id()) {
    // The handler stopped its own server: its reply still goes out, then the thread ends.
    thread_.detach();
  } else {
    {
      std::lock_guard activeLock(shared_->activeMutex);
      if (shared_->active >= 0) ::shutdown(shared_->active, SHUT_RDWR);
    }
    thread_.join();
  }
  wake_ = -1;
  ::unlink(socketPath_.c_str());
}

void ActivityBridgeServer::acceptLoop(std::shared_ptr<Shared> shared, int listenSocket, int wake) {
  ::pthread_setname_np(::pthread_self(), "tovarin-bridge");
  while (true) {
    // One wait per connection, which also sees a stop before the next one is taken.
    pollfd entries[2] = {{listenSocket, POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (entries[1].revents != 0 || (entries[0].revents & (POLLERR | POLLNVAL)) != 0) break;
    const int connection = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) {
      // Out of descriptors leaves the connection pending; wait rather than spin on it.
      if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN && errno != EWOULDBLOCK) {
        pollfd pause{wake, POLLIN, 0};
        ::poll(&pause, 1, kRetryAfterAcceptFailureMs);
      }
      continue;
    }
    serveOne(*shared, connection);
  }
  ::close(listenSocket);
  ::close(wake);
}

void ActivityBridgeServer::serveOne(Shared& shared, int connection) {
  {
    std::lock_guard lock(shared.activeMutex);
    shared.active = connection;
  }
  ActivityBridgeConnection(connection, shared.token, shared.allowPeer, shared.handler).serve();
  std::lock_guard lock(shared.activeMutex);
  shared.active = -1;
  ::close(connection);
}

}  // namespace tovarin
