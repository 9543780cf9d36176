#include "base/SecureRandom.h"

#include <sys/random.h>

#include <cerrno>

namespace tovarin {

bool fillSecureRandom(void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t filled = 0;
  while (filled < size) {
    // Large requests may come back short; a signal may cut one off before any byte.
    const ssize_t got = ::getrandom(bytes + filled, size - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace tovarin
