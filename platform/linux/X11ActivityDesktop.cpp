#include "platform/linux/X11ActivityDesktop.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tovarin {
namespace {

bool isWayland(const std::optional<std::string>& sessionType) {
  if (sessionType) return *sessionType == "wayland";
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return type && std::strcmp(type, "wayland") == 0;
}

}  // namespace

X11ActivityDesktop::X11ActivityDesktop(std::string displayName, DesktopEntryIndex index,
                                       std::shared_ptr<ActivityNotificationCenter> workspace,
                                       std::optional<std::string> sessionType)
    : idle_(displayName), titles_(displayName) {
  // Under Wayland an X server is only a compatibility layer that sees none of the
  // native windows: what it says would be wrong, so nothing is asked of it.
  if (!isWayland(sessionType)) {
    watcher_ = std::make_unique<X11FrontmostWatcher>(displayName, std::move(index), std::move(workspace));
  }
}

std::optional<RunningApplication> X11ActivityDesktop::frontmostApplication() {
  return watcher_ ? watcher_->frontmost() : std::nullopt;
}

double X11ActivityDesktop::secondsSinceLastInput() {
  if (!watcher_) return std::nan("");
  return idle_.idleSeconds().value_or(std::nan(""));
}

bool X11ActivityDesktop::accessibilityTrusted() { return watcher_ && watcher_->connected(); }

std::optional<std::string> X11ActivityDesktop::focusedWindowTitle(const RunningApplication& app) {
  if (!watcher_) return std::nullopt;
  return titles_.title(static_cast<std::uint32_t>(app.window));
}

}  // namespace tovarin
