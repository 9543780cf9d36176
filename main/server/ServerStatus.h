#pragma once

namespace tovarin {

// The result of one health probe of the local server.
enum class ServerStatus { ours, compatible, incompatible, down };

inline bool isUsable(ServerStatus status) {
  return status == ServerStatus::ours || status == ServerStatus::compatible;
}

}  // namespace tovarin
