#pragma once

#include <cstdint>

namespace tovarin {

// TCP ports on 127.0.0.1 as tests that start real servers and clients see them.
struct LocalPorts {
  // A port nothing listens on: the kernel's pick for port 0, bound and released at once.
  static uint16_t unused();
  // True when the port can be bound, that is when no one holds it any more.
  static bool isFree(uint16_t port);
  // True when a connection to the port is accepted.
  static bool accepts(uint16_t port);
};

}  // namespace tovarin
