#include "main/activity_core/ActivityDenial.h"

namespace tovarin {

std::string_view rawValue(ActivityDenial denial) {
  switch (denial) {
    case ActivityDenial::notGranted: return "not_granted";
    case ActivityDenial::platform: return "platform";
    case ActivityDenial::timeout: return "timeout";
    case ActivityDenial::paused: return "paused";
  }
  return "";
}

std::optional<ActivityDenial> activityDenialFromRaw(std::string_view raw) {
  for (ActivityDenial denial :
       {ActivityDenial::notGranted, ActivityDenial::platform, ActivityDenial::timeout, ActivityDenial::paused}) {
    if (rawValue(denial) == raw) return denial;
  }
  return std::nullopt;
}

}  // namespace tovarin
