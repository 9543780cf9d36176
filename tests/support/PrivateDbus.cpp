#include "tests/support/PrivateDbus.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace tovarin {
namespace {

bool acceptsConnections(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

PrivateDbus::PrivateDbus() {
  const std::string socket = dir_.path() + "/bus";
  ChildProcessOptions options;
  options.executable = "/usr/bin/dbus-daemon";
  options.arguments = {std::string("--config-file=") + TOVARIN_SOURCE_DIR + "/tests/support/session-bus.conf", "--nofork",
                       "--nopidfile", "--address=unix:path=" + socket};
  options.environment = {"PATH=/usr/bin:/bin"};
  options.inheritStdin = false;
  auto launch = ChildProcess::launch(options);
  if (!launch.process) {
    error_ = launch.error;
    return;
  }
  daemon_ = launch.process;
  // Polls for the daemon's own start-up, which has no other signal to wait on.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (acceptsConnections(socket)) {
      address_ = "unix:path=" + socket;
      return;
    }
    if (!daemon_->isRunning()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "dbus-daemon did not start";
}

PrivateDbus::~PrivateDbus() {
  if (daemon_ && daemon_->signal(SIGTERM)) daemon_->wait();
}

}  // namespace tovarin
