#pragma once

#include <optional>
#include <string_view>

#include "base/Calendar.h"

// The reminder's local wall-clock minute, "yyyy-MM-ddTHH:mm".
namespace tovarin::ReminderTime {

// The moment that minute starts in the calendar's zone; nothing when the text is not
// exactly in that form or names no real date. A minute the clocks skip (spring forward)
// is the first moment after the gap; a minute that happens twice is its first
// occurrence.
[[nodiscard]] std::optional<double> parse(std::string_view text, const Calendar& calendar);

}  // namespace tovarin::ReminderTime
