#include "main/activity/ActivityPeer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace tovarin::ActivityPeer {
namespace {

std::optional<ucred> credentials(int socket) {
  ucred peer{};
  socklen_t length = sizeof(peer);
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof(peer)) {
    return std::nullopt;
  }
  return peer;
}

}  // namespace

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
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  if (!file) return std::nullopt;
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return parentPIDFromStat(stat);
}

bool isChildOfCurrentProcess(pid_t pid) {
  const pid_t self = ::getpid();
  if (pid < 1 || pid == self) return false;
  auto parent = parentPID(pid);
  return parent && *parent == self;
}

bool sameUser(int socket) {
  auto peer = credentials(socket);
  return peer && peer->uid == ::getuid();
}

}  // namespace tovarin::ActivityPeer
