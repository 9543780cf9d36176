#pragma once

#include <string_view>

namespace tovarin {

// Why the widget has no data to show. Each case carries the caption the widget shows
// in place of its list; nothing else about a failure is kept or logged.
enum class FeedFailure {
  unreachable,
  signedOut,
  accountChanged,
  zoneUnavailable,
  zoneUnverified,
  locked,
  malformed,
};

[[nodiscard]] std::string_view hint(FeedFailure failure);
// "unreachable", "signedOut", ...: the case's own name, for tests and diagnostics.
[[nodiscard]] std::string_view name(FeedFailure failure);

}  // namespace tovarin
