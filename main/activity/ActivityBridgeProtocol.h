#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "base/Json.h"
#include "main/activity/ActivityBridgeError.h"
#include "main/activity/ActivityBridgeReply.h"
#include "main/activity/ActivityBridgeRequest.h"
#include "main/activity_core/ActivityItem.h"

// The activity bridge's wire format: one JSON request line and one JSON reply line per
// connection. Pure; any thread.
namespace tovarin::ActivityBridgeProtocol {

inline constexpr int version = 1;
inline constexpr std::size_t maxRequestBytes = 16384;
// Sent in place of a reply that cannot be written, newline excluded.
inline constexpr std::string_view internalErrorLine = R"({"error":"internal","v":1})";

using ParseResult = std::variant<ActivityBridgeRequest, ActivityBridgeError>;

// 64 lower-case hexadecimal digits of 32 secure random bytes.
[[nodiscard]] std::string makeToken();
// Takes as long for a difference in the first byte as in the last.
[[nodiscard]] bool constantTimeEquals(std::string_view a, std::string_view b);
[[nodiscard]] bool acceptsOwner(std::string_view owner);
// The request line without its newline. The first failing check decides the error.
[[nodiscard]] ParseResult parse(std::string_view line, std::string_view token);
// The reply line, sorted keys, newline included.
[[nodiscard]] std::string encode(const ActivityBridgeReply& reply);
[[nodiscard]] Json itemObject(const ActivityItem& item);

}  // namespace tovarin::ActivityBridgeProtocol
