#include "main/bridges/LocalOriginAdmission.h"

#include <cassert>

#include "base/Log.h"

namespace tovarin {

bool LocalOriginAdmission::admits(const std::string& name, const MessageSource& source) {
  assert(loop_.isMainThread());
  if (server_.isOriginOf(source)) return true;
  if (refusalLog_.allows(name, loop_.now())) {
    log(name + ": message from a frame outside the local server dropped (" +
        (source.known ? source.securityOrigin : std::string("frame unknown")) + ")");
  }
  return false;
}

}  // namespace tovarin
