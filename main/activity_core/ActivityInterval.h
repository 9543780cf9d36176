#pragma once

#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// One closed, recorded stretch of time in one app with one title and web host.
struct ActivityInterval {
  std::string id;
  std::string bundleId;
  std::string appName;
  std::string title;  // sanitised; may be empty
  std::optional<std::string> domain;
  double start = 0;
  double end = 0;

  bool operator==(const ActivityInterval&) const = default;

  // end - start, or 0 when that is negative or not a number.
  [[nodiscard]] double seconds() const;

  // "domain" is written only when present.
  [[nodiscard]] Json toJson() const;
  // Every key but "domain" is required; "domain" may be missing or null.
  [[nodiscard]] static std::optional<ActivityInterval> fromJson(const Json& json);
};

}  // namespace tovarin
