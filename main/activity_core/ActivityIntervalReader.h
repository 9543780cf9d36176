#pragma once

#include <optional>
#include <string_view>

#include "main/activity_core/ActivityInterval.h"

namespace tovarin {

// Reads an interval from the JSON text the store keeps, with the same answer as
// parsing the text and taking ActivityInterval::fromJson of it. The text the store
// writes (one flat object, no blanks, known keys once each) is read directly, without
// building a JSON value; anything else goes to the general parser, which decides.
// Pure; any thread.
class ActivityIntervalReader final {
 public:
  [[nodiscard]] static std::optional<ActivityInterval> read(std::string_view text);
  // Only the direct reading: nothing when the text is not of the written shape.
  [[nodiscard]] static std::optional<ActivityInterval> readWritten(std::string_view text);
};

}  // namespace tovarin
