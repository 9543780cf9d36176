#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "main/activity/ActivityNotificationCenter.h"
#include "main/activity/RunningApplication.h"
#include "platform/linux/DesktopAppResolver.h"
#include "platform/linux/XcbConnection.h"

namespace tovarin {

// Follows the window manager's active window (_NET_ACTIVE_WINDOW on the root window)
// through property events on a connection and a thread of its own, which sleep until
// the X server has something to say: no polling. Each change names the window's
// application (its process from _NET_WM_PID, its id from DesktopAppResolver); a change
// to another application is announced as applicationActivated. A change between windows
// of one application is only remembered, for the next title read.
class X11FrontmostWatcher final {
 public:
  // Empty displayName: $DISPLAY. Returns when the first active window is known.
  X11FrontmostWatcher(std::string displayName, DesktopEntryIndex index,
                      std::shared_ptr<ActivityNotificationCenter> workspace);
  ~X11FrontmostWatcher();
  X11FrontmostWatcher(const X11FrontmostWatcher&) = delete;
  X11FrontmostWatcher& operator=(const X11FrontmostWatcher&) = delete;

  // Whether the X server was reached and is still connected.
  [[nodiscard]] bool connected() const { return connected_.load(); }
  // Any thread. The application of the active window, as last seen.
  [[nodiscard]] std::optional<RunningApplication> frontmost() const;

 private:
  void run();
  void refresh();
  [[nodiscard]] std::optional<RunningApplication> describe(std::uint32_t window);

  XcbConnection x_;                     // thread_ only, after the constructor
  DesktopAppResolver resolver_;         // thread_ only
  const std::shared_ptr<ActivityNotificationCenter> workspace_;
  std::uint32_t activeAtom_ = 0;
  std::uint32_t activeWindow_ = 0;  // thread_ only
  // Windows already named, so that switching back and forth reads no files.
  std::map<std::pair<std::uint32_t, std::int32_t>, std::optional<RunningApplication>> named_;  // thread_ only
  mutable std::mutex mutex_;
  std::optional<RunningApplication> frontmost_;  // mutex_
  std::atomic<bool> connected_{false};
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace tovarin
