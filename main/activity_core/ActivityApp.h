#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// The app in front. On Linux `bundleId` is the desktop-file id without ".desktop"
// (for example "org.mozilla.firefox" or "signal-desktop"), kept as reported.
struct ActivityApp {
  std::string bundleId;
  std::string name;

  bool operator==(const ActivityApp&) const = default;

  [[nodiscard]] Json toJson() const;
  // Both keys are required strings.
  [[nodiscard]] static std::optional<ActivityApp> fromJson(const Json& json);
};

struct ActivityAppHash {
  std::size_t operator()(const ActivityApp& app) const;
};

}  // namespace tovarin
