#pragma once

#include <optional>
#include <string>

struct _XDisplay;

namespace tovarin {

// Seconds since the last input event, from the X server's screen-saver extension, on a
// private X connection of its own (opened on first use). Xlib is not shared across
// threads here: use it from one thread at a time (the presence queue). Without an X
// display, under Wayland, or without the extension it answers nullopt.
class XScreenSaverIdle final {
 public:
  // Empty: $DISPLAY. Tests pass a display of their own.
  explicit XScreenSaverIdle(std::string displayName = {});
  ~XScreenSaverIdle();
  XScreenSaverIdle(const XScreenSaverIdle&) = delete;
  XScreenSaverIdle& operator=(const XScreenSaverIdle&) = delete;

  [[nodiscard]] std::optional<double> idleSeconds();

 private:
  bool ensureDisplay();

  const std::string displayName_;
  _XDisplay* display_ = nullptr;
  bool hasExtension_ = false;
};

}  // namespace tovarin
