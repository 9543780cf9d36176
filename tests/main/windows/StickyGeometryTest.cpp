#include "main/windows/StickyGeometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace tovarin {
namespace {

Screen screenWithVisible(double width, double height) {
  return Screen{{0, 0, width, height + 25}, {0, 0, width, height}};
}

TEST(StickyGeometryTest, ClampHoldsTheSizeBetweenTheMinimumAndTheRoomOnScreen) {
  struct Row {
    const char* what;
    Size asked;
    std::optional<Screen> screen;
    Size expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {"too large on a laptop screen", {1000, 2000}, screenWithVisible(1440, 875), {620, 875}},
      {"too small", {100, 100}, screenWithVisible(1440, 875), {300, 360}},
      {"fits", {400, 500}, screenWithVisible(1440, 875), {400, 500}},
      {"no screen: the fixed maximum", {1000, 2000}, std::nullopt, {620, 1200}},
      {"screen below the minimum, large ask", {1000, 2000}, screenWithVisible(250, 300), {300, 360}},
      {"screen below the minimum, small ask", {10, 10}, screenWithVisible(250, 300), {300, 360}},
      {"height room between min and max", {500, 700}, screenWithVisible(1920, 650), {500, 650}},
      {"not a number reads as the minimum", {nan, nan}, screenWithVisible(1440, 875), {300, 360}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(StickyGeometry::clamp(row.asked, row.screen), row.expected);
  }
}

TEST(StickyGeometryTest, ScreenIsTheOneHoldingTheLargerPartOfTheFrame) {
  const Screen left{{0, 0, 1000, 800}, {0, 0, 1000, 775}};
  const Screen right{{1000, 0, 1000, 800}, {1000, 0, 1000, 775}};
  const Screen above{{0, 800, 1000, 800}, {0, 800, 1000, 775}};
  struct Row {
    const char* what;
    Rect frame;
    std::vector<Screen> screens;
    std::optional<Screen> expected;
  };
  const Row rows[] = {
      {"wholly on the second", {1200, 100, 340, 460}, {left, right}, right},
      {"more on the right", {900, 100, 340, 460}, {left, right}, right},
      {"more on the left", {800, 100, 340, 460}, {left, right}, left},
      {"exactly half: the first listed", {830, 100, 340, 460}, {left, right}, left},
      {"exactly half, other order", {830, 100, 340, 460}, {right, left}, right},
      {"on none: the primary", {5000, 5000, 340, 460}, {right, left}, right},
      {"touching an edge only: the primary", {-340, 100, 340, 460}, {above, left}, above},
      {"no screens", {0, 0, 340, 460}, {}, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(StickyGeometry::screen(row.frame, row.screens), row.expected);
  }
}

}  // namespace
}  // namespace tovarin
