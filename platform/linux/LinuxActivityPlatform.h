#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity/ActivityCapture.h"
#include "platform/linux/LogindWatcher.h"
#include "platform/linux/X11ActivityDesktop.h"

namespace tovarin {

// Everything the activity capture needs from a Linux desktop, made and owned in one
// place: the X11 desktop, logind's signals and the (unavailable) browser scripting.
// Construct on the main loop; watching begins at construction and ends with the object.
class LinuxActivityPlatform final {
 public:
  struct Options {
    std::string displayName;                     // empty: $DISPLAY
    std::string systemBusAddress;                // empty: the system bus
    std::vector<std::string> applicationFolders;  // empty: the XDG data folders
    std::optional<std::string> locale;            // for app names; none: the environment's
    std::optional<std::string> sessionType;       // "x11", "wayland"...; none: the environment's
  };

  LinuxActivityPlatform(MainLoop& loop, Options options);
  LinuxActivityPlatform(const LinuxActivityPlatform&) = delete;
  LinuxActivityPlatform& operator=(const LinuxActivityPlatform&) = delete;

  [[nodiscard]] ActivityCapture::Platform capturePlatform() const;

 private:
  ActivityCapture::Platform platform_;
  std::unique_ptr<LogindWatcher> logind_;
};

}  // namespace tovarin
