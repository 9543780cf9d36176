#pragma once

#include <memory>
#include <string>

#include "main/activity/ActivityDesktop.h"
#include "platform/linux/X11FrontmostWatcher.h"
#include "platform/linux/X11WindowTitleReader.h"
#include "platform/linux/XScreenSaverIdle.h"

namespace tovarin {

// The activity capture's view of an X11 desktop: the front application from the
// window manager's active window, the focused window's title, idle time from the
// screen-saver extension. Access is granted under X11. Under Wayland (or without any X
// server) the X server cannot see other applications' windows: access is refused, so
// that capture suspends for it, and nothing is read.
class X11ActivityDesktop final : public ActivityDesktop {
 public:
  // Empty displayName: $DISPLAY, unless the session is Wayland. sessionType is the
  // session's kind ("x11", "wayland", ...); none: $XDG_SESSION_TYPE.
  X11ActivityDesktop(std::string displayName, DesktopEntryIndex index,
                     std::shared_ptr<ActivityNotificationCenter> workspace,
                     std::optional<std::string> sessionType = std::nullopt);

  std::optional<RunningApplication> frontmostApplication() override;
  double secondsSinceLastInput() override;
  bool accessibilityTrusted() override;
  // X11 has no access to grant and Wayland no way to grant it: nothing to ask.
  void requestAccessibility() override {}
  std::optional<std::string> focusedWindowTitle(const RunningApplication& app) override;

 private:
  std::unique_ptr<X11FrontmostWatcher> watcher_;  // null under Wayland
  XScreenSaverIdle idle_;                         // main only
  X11WindowTitleReader titles_;                   // read queue only
};

}  // namespace tovarin
