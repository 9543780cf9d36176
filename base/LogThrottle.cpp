#include "base/LogThrottle.h"

namespace tovarin {

bool LogThrottle::allows(const std::string& kind, double now) {
  auto found = lastLogged_.find(kind);
  if (found != lastLogged_.end() && now - found->second < interval_) return false;
  // Kinds come from outside (handler names); their number stays bounded.
  if (found == lastLogged_.end() && lastLogged_.size() >= kMaxKinds) lastLogged_.clear();
  lastLogged_[kind] = now;
  return true;
}

}  // namespace tovarin
