#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/DesktopEntryIndex.h"

namespace tovarin {

// Names the installed application behind a window by its desktop-file id. Sources,
// first answer wins, and each must name an installed desktop entry:
//  1. the sandbox's own metadata: a Flatpak's application id, a Snap's app unit;
//  2. the toolkit's application id on the window (GTK's _GTK_APPLICATION_ID);
//  3. WM_CLASS: an entry's StartupWMClass, then an id equal to the class or instance;
//  4. the launch environment: GIO_LAUNCHED_DESKTOP_FILE when it was set for this very
//     process, then the systemd app unit the process was launched into.
// Window facts come first after the sandbox because a launch environment and a unit
// are inherited by everything started from a terminal or launcher.
// With no answer the window has no id. Used from one thread at a time.
class DesktopAppResolver final {
 public:
  struct WindowFacts {
    std::int32_t pid = 0;  // 0: the window does not say
    std::string gtkApplicationId;
    std::string wmInstance;
    std::string wmClass;
  };
  struct ProcessFacts {
    std::string flatpakId;
    std::string cgroup;  // the text of /proc/<pid>/cgroup
    std::string launchedDesktopFile;
    std::int32_t launchedDesktopFilePid = 0;
  };
  struct Identity {
    std::string id;
    std::string name;
    bool operator==(const Identity&) const = default;
  };

  explicit DesktopAppResolver(DesktopEntryIndex index);

  [[nodiscard]] static ProcessFacts readProcessFacts(std::int32_t pid, const std::string& procRoot = "/proc");

  // Reads the folders again (at most every reloadInterval) when nothing answers, so
  // that an application installed after start-up is found.
  [[nodiscard]] std::optional<Identity> resolve(const WindowFacts& window, const ProcessFacts& process);

  static constexpr std::chrono::seconds reloadInterval{30};

 private:
  [[nodiscard]] std::optional<Identity> lookup(const WindowFacts& window, const ProcessFacts& process) const;
  [[nodiscard]] std::optional<Identity> identity(const std::string& id) const;

  DesktopEntryIndex index_;
  std::chrono::steady_clock::time_point loadedAt_;
};

}  // namespace tovarin
