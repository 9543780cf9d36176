#include "platform/linux/XScreenSaverIdle.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tovarin {
namespace {

// Under Wayland the X server is only a compatibility layer: its idle time says nothing
// about input to Wayland clients, so it is not taken as the session's.
bool isWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return type && std::strcmp(type, "wayland") == 0;
}

}  // namespace

XScreenSaverIdle::XScreenSaverIdle(std::string displayName) : displayName_(std::move(displayName)) {}

XScreenSaverIdle::~XScreenSaverIdle() {
  if (display_) XCloseDisplay(display_);
}

bool XScreenSaverIdle::ensureDisplay() {
  if (display_) return hasExtension_;
  if (displayName_.empty() && isWaylandSession()) return false;
  display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  if (!display_) return false;
  int eventBase = 0;
  int errorBase = 0;
  hasExtension_ = XScreenSaverQueryExtension(display_, &eventBase, &errorBase) != 0;
  return hasExtension_;
}

std::optional<double> XScreenSaverIdle::idleSeconds() {
  if (!ensureDisplay()) return std::nullopt;
  std::unique_ptr<XScreenSaverInfo, int (*)(void*)> info(XScreenSaverAllocInfo(), XFree);
  if (!info) return std::nullopt;
  if (XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info.get()) == 0) return std::nullopt;
  return static_cast<double>(info->idle) / 1000.0;
}

}  // namespace tovarin
