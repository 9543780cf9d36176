#include "main/server/ServerStartupFailure.h"

namespace tovarin {

std::string_view serverStartupFailureName(ServerStartupFailure failure) {
  switch (failure) {
    case ServerStartupFailure::autoStartDisabled: return "autoStartDisabled";
    case ServerStartupFailure::nodeMissing: return "nodeMissing";
    case ServerStartupFailure::portHeldByOthers: return "portHeldByOthers";
    case ServerStartupFailure::portHeldByOurStaleServer: return "portHeldByOurStaleServer";
    case ServerStartupFailure::startingSlowly: return "startingSlowly";
    case ServerStartupFailure::exitedAfterStart: return "exitedAfterStart";
  }
  return "unknown";
}

}  // namespace tovarin
