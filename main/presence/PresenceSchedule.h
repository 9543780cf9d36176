#pragma once

#include <array>
#include <optional>

namespace tovarin {

// Times are monotonic seconds (TaskRunner::now()): they are only ever compared.
struct PresenceFacts {
  double idleSeconds = 0;  // since the session's last input; +infinity when unknown
  bool screenLocked = false;
  std::optional<double> lastReportedAt;
  std::optional<double> backoffUntil;

  bool operator==(const PresenceFacts&) const = default;
};

// Why a tick sends nothing.
enum class PresenceSkip { screenLocked, idle, throttled, backingOff };
inline constexpr std::array<PresenceSkip, 4> allPresenceSkips = {PresenceSkip::screenLocked, PresenceSkip::idle,
                                                                 PresenceSkip::throttled, PresenceSkip::backingOff};

enum class PresenceRefusal { failed, unauthorized };

// When the user counts as present and when a report may go out. Pure rules.
namespace PresenceSchedule {

// Input older than this counts as idle; also the least spacing of two reports.
inline constexpr double presenceActiveWithinSeconds = 300;
inline constexpr double unauthorizedBackoffSeconds = 1800;
// Tick times are sums of the interval and carry rounding: a tick one whole spacing
// after the last report must not miss it by a rounding error.
inline constexpr double spacingTolerance = 0.001;

[[nodiscard]] std::optional<PresenceSkip> skipReason(const PresenceFacts& facts, double now);
[[nodiscard]] bool shouldReport(const PresenceFacts& facts, double now);
// The time before which no report is tried after the failures-th failure in a row.
[[nodiscard]] double backoff(int failures, PresenceRefusal refusal, double now);

}  // namespace PresenceSchedule
}  // namespace tovarin
