#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// One answered row of a query.
struct ActivityItem {
  std::string id;     // opaque, stable for one hour, app id, title and domain
  std::string start;  // local wall clock, YYYY-MM-DDTHH:MM
  std::string end;    // same form, never before start
  std::string app;
  std::string title;
  std::optional<std::string> domain;
  int64_t durationMin = 0;  // whole minutes, at least 1

  bool operator==(const ActivityItem&) const = default;

  // "domain" is written only when present.
  [[nodiscard]] Json toJson() const;
};

}  // namespace tovarin
