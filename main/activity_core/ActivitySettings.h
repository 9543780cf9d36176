#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"

namespace tovarin {

// The user's settings of the activity record. The defaults are the record's off state.
struct ActivitySettings {
  bool enabled = false;
  bool paused = false;
  std::vector<std::string> included;  // app ids the user ticked, as reported
  int retentionDays = 7;              // 1...30
  bool browserDomains = false;
  int idleMinutes = 5;                // 1...60

  static constexpr int minRetentionDays = 1;
  static constexpr int maxRetentionDays = 30;
  static constexpr int minIdleMinutes = 1;
  static constexpr int maxIdleMinutes = 60;

  bool operator==(const ActivitySettings&) const = default;

  [[nodiscard]] static int clampRetention(int64_t days);
  [[nodiscard]] static int clampIdleMinutes(int64_t minutes);

  // All six keys, values as they are.
  [[nodiscard]] Json toJson() const;
  // Any subset of the keys; missing or null keys take their defaults, numbers are
  // clamped to their ranges, and a key of the wrong type fails the whole decoding.
  [[nodiscard]] static std::optional<ActivitySettings> fromJson(const Json& json);
};

}  // namespace tovarin
