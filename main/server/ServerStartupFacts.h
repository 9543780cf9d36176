#pragma once

#include <cstdint>
#include <vector>

#include "main/server/ServerStatus.h"

namespace tovarin {

// What is known after a failed or slow start of the local server.
struct ServerStartupFacts {
  int64_t port = 0;
  bool autoStartEnabled = false;
  bool nodeFound = false;
  std::vector<int32_t> listeners;          // every process listening on the port, in lsof order
  std::vector<int32_t> ourStaleListeners;  // those (not us) running tools/server.mjs
  bool childAlive = false;
  ServerStatus probe = ServerStatus::down;
  int64_t waitedSeconds = 12;

  bool operator==(const ServerStartupFacts&) const = default;
};

}  // namespace tovarin
