#include "base/Log.h"

#include <errno.h>
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

// One event is one line: a message carrying text from outside (a link's host, a page's
// words) must not be able to start a line of its own, so line breaks and other controls
// are written as escapes. Bytes of 0x80 and above pass unchanged except the Unicode line
// and paragraph separators and NEL, which some terminals and log readers also break on.
void appendEscaped(std::string& line, std::string_view message) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < message.size(); ++i) {
    auto byte = static_cast<unsigned char>(message[i]);
    if (byte == 0xC2 && i + 1 < message.size() && static_cast<unsigned char>(message[i + 1]) == 0x85) {
      line.append("\\u0085");
      ++i;
      continue;
    }
    if (byte == 0xE2 && i + 2 < message.size() && static_cast<unsigned char>(message[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(message[i + 2]) == 0xA8 || static_cast<unsigned char>(message[i + 2]) == 0xA9)) {
      line.append(static_cast<unsigned char>(message[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029");
      i += 2;
      continue;
    }
    if (byte >= 0x20 && byte != 0x7F) {
      line.push_back(static_cast<char>(byte));
      continue;
    }
    switch (byte) {
      case '\n': line.append("\\n"); break;
      case '\r': line.append("\\r"); break;
      case '\t': line.append("\\t"); break;
      default:
        line.append("\\x");
        line.push_back(kHex[byte >> 4]);
        line.push_back(kHex[byte & 0xF]);
    }
  }
}

}  // namespace

void logWithPrefix(std::string_view prefix, std::string_view message) {
  std::string line;
  line.reserve(prefix.size() + message.size() + 1);
  line.append(prefix);
  appendEscaped(line, message);
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
