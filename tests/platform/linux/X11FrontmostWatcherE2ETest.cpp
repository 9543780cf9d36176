#include "platform/linux/X11FrontmostWatcher.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <thread>

#include "main/activity/ActivityNotificationCenter.h"
#include "platform/linux/XcbConnection.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

// Stands in for a window manager: names windows active on the root, as fast as one can.
class ActiveWindowSetter {
 public:
  ActiveWindowSetter() : active_(x_.atom("_NET_ACTIVE_WINDOW")) {}
  bool ok() { return x_.ok() && active_ != 0; }

  std::uint32_t makeWindow() {
    const std::uint32_t window = xcb_generate_id(x_.raw());
    xcb_create_window(x_.raw(), XCB_COPY_FROM_PARENT, window, x_.root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_flush(x_.raw());
    return window;
  }
  void activate(std::uint32_t window) {
    xcb_change_property(x_.raw(), XCB_PROP_MODE_REPLACE, x_.root(), active_, XCB_ATOM_WINDOW, 32, 1, &window);
    xcb_flush(x_.raw());
  }

 private:
  XcbConnection x_{""};
  std::uint32_t active_;
};

// A change that reaches the watcher while it reads the previous one is still seen: the
// window manager often names none and then the new window within a moment.
TEST(X11FrontmostWatcherE2ETest, AChangeArrivingWhileThePreviousIsReadIsNotLost) {
  ActiveWindowSetter setter;
  ASSERT_TRUE(setter.ok()) << "run under xvfb-run";
  const std::uint32_t first = setter.makeWindow();
  const std::uint32_t second = setter.makeWindow();
  ManualLoop loop;
  X11FrontmostWatcher watcher("", DesktopEntryIndex({}, "C"), std::make_shared<ActivityNotificationCenter>(loop));
  ASSERT_TRUE(watcher.connected());
  auto shows = [&](std::uint32_t window) {
    const auto front = watcher.frontmost();
    return front && front->window == window;
  };
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t from = round % 2 ? second : first;
    const std::uint32_t to = round % 2 ? first : second;
    setter.activate(from);
    // Spread the second change over the time the watcher takes to read the first.
    std::this_thread::sleep_for(std::chrono::microseconds(round % 150));
    setter.activate(to);
    ASSERT_TRUE(loop.waitFor([&] { return shows(to); }, 10)) << "round " << round << ": the last change was missed";
  }
}

}  // namespace
}  // namespace tovarin
