#pragma once

#include <array>
#include <string_view>

namespace tovarin {

// Why the local server is not usable after a start, as the diagnosis classifies it.
// Pure value; any thread.
enum class ServerStartupFailure {
  autoStartDisabled,
  nodeMissing,
  portHeldByOthers,
  portHeldByOurStaleServer,
  startingSlowly,
  exitedAfterStart,
};

// Every cause, in declaration order.
inline constexpr std::array<ServerStartupFailure, 6> allServerStartupFailures = {
    ServerStartupFailure::autoStartDisabled,
    ServerStartupFailure::nodeMissing,
    ServerStartupFailure::portHeldByOthers,
    ServerStartupFailure::portHeldByOurStaleServer,
    ServerStartupFailure::startingSlowly,
    ServerStartupFailure::exitedAfterStart,
};

// The case's own name ("startingSlowly"), for log lines and test output.
[[nodiscard]] std::string_view serverStartupFailureName(ServerStartupFailure failure);

}  // namespace tovarin
