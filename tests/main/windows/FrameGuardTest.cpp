#include "main/windows/FrameGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/FakeDesktop.h"

namespace tovarin {
namespace {

// Left: 1440 x 900 with a 25-point panel on top. Right of it: 1920 x 1080, no panel.
const Screen left{{0, 0, 1440, 900}, {0, 0, 1440, 875}};
const Screen right{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}};

TEST(FrameGuardTest, ReachableOnlyWithEnoughOfTheFrameOnOneScreen) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    Rect frame;
    std::vector<Screen> screens;
    bool reachable;
  } cases[] = {
      {"wholly inside", {100, 100, 800, 600}, {left}, true},
      {"89 points wide on screen", {-711, 100, 800, 600}, {left}, false},
      {"90 points wide on screen", {-710, 100, 800, 600}, {left}, true},
      {"49 points high below the panel", {100, 826, 800, 600}, {left}, false},
      {"50 points high below the panel", {100, 825, 800, 600}, {left}, true},
      {"narrow frame wholly inside", {10, 10, 60, 200}, {left}, true},
      {"narrow frame with 59 points on screen", {-1, 10, 60, 200}, {left}, false},
      {"low frame wholly inside", {10, 10, 300, 40}, {left}, true},
      {"60 points on each of two screens", {1380, 100, 120, 300}, {left, right}, false},
      {"on the second screen only", {2000, 100, 800, 600}, {left, right}, true},
      {"on a screen that was disconnected", {2000, 100, 800, 600}, {left}, false},
      {"one point wide", {100, 100, 1, 600}, {left}, false},
      {"zero rectangle", {}, {left}, false},
      {"no screens", {100, 100, 800, 600}, {}, false},
      {"not a number", {nan, 100, 800, 600}, {left}, false},
      {"infinite width", {100, 100, inf, 600}, {left}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(FrameGuard::isReachable(c.frame, c.screens), c.reachable) << c.what;
}

TEST(FrameGuardTest, FrameTextRoundTripsAndBadTextGivesTheZeroRectangle) {
  struct Case {
    std::string text;
    Rect frame;
  } cases[] = {
      {"{{130, 75.5}, {1180, 780}}", {130, 75.5, 1180, 780}},
      {"{{-1440, -20}, {800, 600}}", {-1440, -20, 800, 600}},
      {"{{0.125, 0}, {1e3, 2}}", {0.125, 0, 1000, 2}},
      {" {{ 1 ,2},{3, 4}} ", {1, 2, 3, 4}},
      {"", {}},
      {"{{1, 2}, {3}}", {}},
      {"{{1, 2}, {3, 4}} trailing", {}},
      {"{{1,5, 2}, {3, 4}}", {}},
      {"{{nan, 2}, {3, 4}}", {}},
      {"{{inf, 2}, {3, 4}}", {}},
      {"[[1, 2], [3, 4]]", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(FrameGuard::parseFrame(c.text), c.frame) << c.text;

  for (const Rect& frame : {Rect{130, 75.5, 1180, 780}, Rect{-1440.25, 0.1, 800, 600.75}}) {
    EXPECT_EQ(FrameGuard::parseFrame(FrameGuard::frameString(frame)), frame) << FrameGuard::frameString(frame);
  }
  EXPECT_EQ(FrameGuard::frameString({130, 75.5, 1180, 780}), "{{130, 75.5}, {1180, 780}}");
}

TEST(FrameGuardTest, RestoreSetsOnlyAReachableSavedFrame) {
  FakeDesktop desktop;
  desktop.setScreens({left});
  struct Case {
    std::optional<std::string> saved;
    bool restored;
  } cases[] = {
      {std::nullopt, false},
      {"{{200, 100}, {900, 600}}", true},
      {"{{3000, 100}, {900, 600}}", false},
      {"not a frame", false},
  };
  for (const auto& c : cases) {
    auto window = desktop.makeWindow(WindowStyle::titled, {1180, 780});
    const Rect before = window->frame();
    const bool restored = FrameGuard::restore(*window, c.saved, desktop.screens());
    EXPECT_EQ(restored, c.restored) << c.saved.value_or("(none)");
    EXPECT_EQ(window->frame(), restored ? FrameGuard::parseFrame(*c.saved) : before);
  }
}

TEST(FrameGuardTest, NudgeMovesAndShrinksAnUnreachableWindowOntoItsScreen) {
  struct Case {
    const char* what;
    Rect frame;
    std::vector<Screen> screens;
    Rect expected;
  } cases[] = {
      {"reachable stays put", {-700, 100, 800, 600}, {left}, {-700, 100, 800, 600}},
      {"off the left edge comes back", {-780, 100, 800, 600}, {left}, {0, 100, 800, 600}},
      {"above the panel comes down", {100, 870, 800, 600}, {left}, {100, 275, 800, 600}},
      {"larger than the visible area shrinks to its corner", {5000, 3000, 2000, 1200}, {left}, {0, 0, 1440, 875}},
      {"mostly on the right screen goes there", {3300, 100, 800, 600}, {left, right}, {2560, 100, 800, 600}},
      {"no screen: untouched", {5000, 100, 800, 600}, {}, {5000, 100, 800, 600}},
  };
  for (const auto& c : cases) {
    FakeDesktop desktop;
    desktop.setScreens(c.screens);
    auto window = desktop.makeWindow(WindowStyle::titled, {800, 600});
    window->setFrame(c.frame);
    FrameGuard::nudgeOnScreen(*window, desktop.screens());
    EXPECT_EQ(window->frame(), c.expected) << c.what;
    if (!c.screens.empty()) {
      EXPECT_TRUE(FrameGuard::isReachable(window->frame(), c.screens)) << c.what;
    }
  }
}

TEST(FrameGuardTest, NudgeGivesAFrameOfNoNumbersTheVisibleArea) {
  FakeDesktop desktop;
  desktop.setScreens({left});
  auto window = desktop.makeWindow(WindowStyle::titled, {800, 600});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  window->setFrame({nan, nan, nan, nan});
  FrameGuard::nudgeOnScreen(*window, desktop.screens());
  EXPECT_EQ(window->frame(), (Rect{0, 0, 1440, 875}));
}

}  // namespace
}  // namespace tovarin
