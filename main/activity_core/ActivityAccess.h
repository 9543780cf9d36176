#pragma once

#include <optional>

#include "main/activity_core/ActivityDenial.h"
#include "main/activity_core/ActivitySettings.h"
#include "main/activity_core/ActivityStoreState.h"

// Whether a query of the local server may be answered at all.
namespace tovarin::ActivityAccess {

// None when the query may run.
[[nodiscard]] std::optional<ActivityDenial> denial(const ActivitySettings& settings, bool accessibilityTrusted,
                                                   ActivityStoreState store, bool ownerMatches);

}  // namespace tovarin::ActivityAccess
