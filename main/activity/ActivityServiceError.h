#pragma once

#include <optional>
#include <variant>

#include "main/activity/ActivityStoreError.h"

namespace tovarin {

// Why the activity service refused a command before asking the store.
enum class ActivityServiceError {
  needsAccount,  // no owner report in force, or nobody signed in
  notAllowed,    // the record is not in a state that allows the command
};

// A service command's answer: a value, or the service's refusal or the store's error.
template <typename T>
struct [[nodiscard]] ActivityServiceOutcome {
  using Failure = std::variant<ActivityServiceError, ActivityStoreError>;

  T value{};
  std::optional<Failure> error;

  bool ok() const { return !error.has_value(); }
  static ActivityServiceOutcome refused(ActivityServiceError why) { return {T{}, Failure(why)}; }
  static ActivityServiceOutcome of(ActivityStoreOutcome<T> outcome) {
    if (outcome.error) return {T{}, Failure(std::move(*outcome.error))};
    return {std::move(outcome.value), std::nullopt};
  }
};

}  // namespace tovarin
