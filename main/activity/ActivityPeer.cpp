#include "main/activity/ActivityPeer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <string>

#include "base/ChildProcess.h"

namespace tovarin::ActivityPeer {

std::optional<ucred> credentials(int socket) {
  ucred peer{};
  socklen_t length = sizeof(peer);
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof(peer)) {
    return std::nullopt;
  }
  return peer;
}

std::optional<pid_t> pid(int socket) {
  auto peer = credentials(socket);
  if (!peer || peer->pid < 1) return std::nullopt;
  return peer->pid;
}

std::optional<pid_t> parentPIDFromStat(std::string_view stat) {
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  // ") S 1234 ..." : the state, then the parent id.
  std::string_view rest = stat.substr(close + 1);
  if (rest.size() < 4 || rest[0] != ' ' || rest[2] != ' ') return std::nullopt;
  rest.remove_prefix(3);
  pid_t parent = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
  if (error != std::errc() || end == rest.data() || (end != rest.data() + rest.size() && *end != ' ')) {
    return std::nullopt;
  }
  if (parent < 0) return std::nullopt;
  return parent;
}

std::optional<pid_t> parentPID(pid_t pid) {
  if (pid < 1) return std::nullopt;
  const int file = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  // One read: the kernel writes the whole record at once, and it is far shorter than this.
  std::array<char, 4096> buffer{};
  const ssize_t length = ::read(file, buffer.data(), buffer.size());
  ::close(file);
  if (length <= 0) return std::nullopt;
  return parentPIDFromStat(std::string_view(buffer.data(), static_cast<size_t>(length)));
}

bool isChildOfCurrentProcess(pid_t pid) {
  const pid_t self = ::getpid();
  if (pid < 1 || pid == self) return false;
  // The local server is launched as such a child: known without reading /proc.
  if (ChildProcess::isUnreapedChild(pid)) return true;
  auto parent = parentPID(pid);
  return parent && *parent == self;
}

bool sameUser(int socket) {
  auto peer = credentials(socket);
  return peer && isSameUser(*peer);
}

bool isSameUser(const ucred& peer) { return peer.uid == ::getuid(); }

}  // namespace tovarin::ActivityPeer
