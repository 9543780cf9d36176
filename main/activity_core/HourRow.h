#pragma once

#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// One line of an hour summary: the time one app, title and domain took in the hour.
struct HourRow {
  std::string bundleId;
  std::string app;
  std::string title;
  std::optional<std::string> domain;
  double seconds = 0;
  double first = 0;  // earliest recorded moment inside the hour
  double last = 0;   // latest recorded moment inside the hour

  bool operator==(const HourRow&) const = default;

  // "domain" is written only when present.
  [[nodiscard]] Json toJson() const;
  // Every key but "domain" is required; "domain" may be missing or null.
  [[nodiscard]] static std::optional<HourRow> fromJson(const Json& json);
};

}  // namespace tovarin
