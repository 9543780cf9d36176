#pragma once

namespace tovarin {

// Why the bridge could not start listening; the system's errno where a call failed.
struct ActivityBridgeStartError {
  enum class Kind { socket, bind, listen, pathTooLong };
  Kind kind = Kind::socket;
  int error = 0;  // 0 for pathTooLong

  bool operator==(const ActivityBridgeStartError&) const = default;
};

}  // namespace tovarin
