#include "base/Log.h"

#include <unistd.h>

#include <mutex>
#include <string>

namespace tovarin {
namespace {

std::mutex& observerMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(std::string_view)>& observer() {
  static std::function<void(std::string_view)> current;
  return current;
}

void writeAll(const std::string& line) {
  const char* data = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t written = ::write(STDERR_FILENO, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace

void logWithPrefix(std::string_view prefix, std::string_view message) {
  std::string line;
  line.reserve(prefix.size() + message.size() + 1);
  line.append(prefix).append(message);
  {
    std::lock_guard lock(observerMutex());
    if (observer()) observer()(line);
  }
  line.push_back('\n');
  writeAll(line);
}

void log(std::string_view message) { logWithPrefix("[orvik] ", message); }

void setLogObserverForTesting(std::function<void(std::string_view)> newObserver) {
  std::lock_guard lock(observerMutex());
  observer() = std::move(newObserver);
}

}  // namespace tovarin
