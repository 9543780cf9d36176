#include "main/activity/ActivityBridgeRequest.h"

namespace tovarin {

std::optional<std::string> ActivityBridgeRequest::reportedOwner() const {
  if (const Query* query = asQuery()) return query->owner;
  return std::get<OwnerReport>(payload_).owner;
}

}  // namespace tovarin
