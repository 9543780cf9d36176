#pragma once

#include <optional>

#include "main/activity/RunningApplication.h"

namespace tovarin {

// What the desktop announces to the activity capture.
enum class WorkspaceNotification {
  applicationActivated,
  willSleep,
  didWake,
  sessionResignedActive,
  sessionBecameActive,
  screenLocked,
  screenUnlocked,
};

// The facts a notification carries: the activated application, when there is one.
struct WorkspaceNote {
  std::optional<RunningApplication> application;
};

}  // namespace tovarin
