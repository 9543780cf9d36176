#include "main/activity_core/SuspendReason.h"

namespace tovarin {

std::string_view rawValue(SuspendReason reason) {
  switch (reason) {
    case SuspendReason::idle: return "idle";
    case SuspendReason::locked: return "locked";
    case SuspendReason::asleep: return "asleep";
    case SuspendReason::paused: return "paused";
    case SuspendReason::noAccess: return "noAccess";
    case SuspendReason::disabled: return "disabled";
    case SuspendReason::account: return "account";
  }
  return "";
}

std::optional<SuspendReason> suspendReasonFromRaw(std::string_view raw) {
  for (SuspendReason reason : allSuspendReasons) {
    if (rawValue(reason) == raw) return reason;
  }
  return std::nullopt;
}

}  // namespace tovarin
