#pragma once

#include <variant>

#include "base/Outcome.h"
#include "main/activity/ActivityStoreError.h"

namespace tovarin {

// Why the activity service refused a command before asking the store.
enum class ActivityServiceError {
  needsAccount,  // no owner report in force, or nobody signed in
  notAllowed,    // the record is not in a state that allows the command
};

// Why a service command failed: the service's refusal or the store's error.
using ActivityServiceFailure = std::variant<ActivityServiceError, ActivityStoreError>;

// A service command's answer.
template <typename T>
using ActivityServiceOutcome = Outcome<T, ActivityServiceFailure>;

}  // namespace tovarin
