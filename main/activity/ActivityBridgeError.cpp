#include "main/activity/ActivityBridgeError.h"

namespace tovarin {

std::string_view rawValue(ActivityBridgeError error) {
  switch (error) {
    case ActivityBridgeError::badJSON: return "bad_json";
    case ActivityBridgeError::badVersion: return "bad_version";
    case ActivityBridgeError::badToken: return "bad_token";
    case ActivityBridgeError::badOp: return "bad_op";
    case ActivityBridgeError::badArgs: return "bad_args";
    case ActivityBridgeError::tooLarge: return "too_large";
    case ActivityBridgeError::peerRejected: return "peer_rejected";
    case ActivityBridgeError::internalError: return "internal";
  }
  return "";
}

std::optional<ActivityBridgeError> activityBridgeErrorFromRaw(std::string_view raw) {
  for (ActivityBridgeError error :
       {ActivityBridgeError::badJSON, ActivityBridgeError::badVersion, ActivityBridgeError::badToken,
        ActivityBridgeError::badOp, ActivityBridgeError::badArgs, ActivityBridgeError::tooLarge,
        ActivityBridgeError::peerRejected, ActivityBridgeError::internalError}) {
    if (rawValue(error) == raw) return error;
  }
  return std::nullopt;
}

}  // namespace tovarin
