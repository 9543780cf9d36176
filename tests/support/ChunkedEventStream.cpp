#include "tests/support/ChunkedEventStream.h"

#include <cstdio>

namespace tovarin {

std::string ChunkedEventStream::chunk(std::string_view payload) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", payload.size());
  return std::string(size) + std::string(payload) + "\r\n";
}

std::string ChunkedEventStream::opening(std::string_view payload) { return std::string(head) + chunk(payload); }

}  // namespace tovarin
