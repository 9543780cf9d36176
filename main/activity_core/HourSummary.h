#pragma once

#include <optional>
#include <vector>

#include "base/Json.h"
#include "main/activity_core/HourRow.h"

namespace tovarin {

// One clock hour of the record. `totalSeconds` counts every row of the hour, also
// those a row limit left out.
struct HourSummary {
  double hourStart = 0;
  double hourEnd = 0;
  std::vector<HourRow> rows;
  double totalSeconds = 0;

  bool operator==(const HourSummary&) const = default;

  [[nodiscard]] Json toJson() const;
  // All keys required; one malformed row fails the whole summary.
  [[nodiscard]] static std::optional<HourSummary> fromJson(const Json& json);
};

}  // namespace tovarin
