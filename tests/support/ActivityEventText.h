#pragma once

#include <string>

#include "main/activity_core/ActivityEvent.h"

namespace tovarin {

// An event as a short text, its time in milliseconds after origin, such as
// "suspend(idle)@-296000ms", so that a failing test shows a whole sequence.
[[nodiscard]] std::string activityEventText(const ActivityEvent& event, double origin);

}  // namespace tovarin
