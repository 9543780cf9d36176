#pragma once

#include <optional>
#include <string>

#include "main/activity/RunningApplication.h"

namespace tovarin {

// What the activity capture asks the desktop directly (its notifications arrive
// through ActivityNotificationCenter).
class ActivityDesktop {
 public:
  virtual ~ActivityDesktop() = default;

  // Main loop; must not block. The application that owns the focused window.
  [[nodiscard]] virtual std::optional<RunningApplication> frontmostApplication() = 0;
  // Main loop; must not block. Seconds since the last input event of the session; NaN
  // when the desktop cannot tell.
  [[nodiscard]] virtual double secondsSinceLastInput() = 0;
  // Any thread. Whether this process may see other applications' windows.
  [[nodiscard]] virtual bool accessibilityTrusted() = 0;
  // Main loop. Asks the desktop to grant that access, where it has a way to ask.
  virtual void requestAccessibility() = 0;
  // The read queue; may block briefly. The title of app's focused window; nothing when
  // it cannot be read.
  [[nodiscard]] virtual std::optional<std::string> focusedWindowTitle(const RunningApplication& app) = 0;
};

}  // namespace tovarin
