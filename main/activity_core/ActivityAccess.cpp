#include "main/activity_core/ActivityAccess.h"

namespace tovarin::ActivityAccess {

std::optional<ActivityDenial> denial(const ActivitySettings& settings, bool accessibilityTrusted,
                                     ActivityStoreState store, bool ownerMatches) {
  // A paused record of another account must not even reveal that it is paused.
  if (!settings.enabled || !ownerMatches) return ActivityDenial::notGranted;
  if (settings.paused) return ActivityDenial::paused;
  if (accessibilityTrusted && store == ActivityStoreState::ready) return std::nullopt;
  return ActivityDenial::notGranted;
}

}  // namespace tovarin::ActivityAccess
