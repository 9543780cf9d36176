#pragma once

#include <optional>
#include <string_view>

namespace tovarin {

// Why a bridge request was refused before it reached the handler; the raw values are
// the codes the local server reads.
enum class ActivityBridgeError { badJSON, badVersion, badToken, badOp, badArgs, tooLarge, peerRejected, internalError };

[[nodiscard]] std::string_view rawValue(ActivityBridgeError error);
[[nodiscard]] std::optional<ActivityBridgeError> activityBridgeErrorFromRaw(std::string_view raw);

}  // namespace tovarin
