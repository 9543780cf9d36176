#include "platform/gtk/DesktopCoordinates.h"

#include <gtest/gtest.h>

#include <limits>

namespace tovarin::desktop_coordinates {
namespace {

struct ConversionCase {
  const char* what;
  PixelRect primary;
  PixelRect placed;
  Rect desktop;
};

TEST(DesktopCoordinatesTest, ConvertsBetweenGtkPlacementAndYUpFrames) {
  const std::vector<ConversionCase> cases = {
      {"bottom-left corner of the primary", {0, 0, 1600, 1000}, {0, 900, 200, 100}, {0, 0, 200, 100}},
      {"top-left corner of the primary", {0, 0, 1600, 1000}, {0, 0, 200, 100}, {0, 900, 200, 100}},
      {"middle of the primary", {0, 0, 1600, 1000}, {400, 300, 800, 400}, {400, 300, 800, 400}},
      {"primary not at the origin", {1920, 80, 1600, 1000}, {1920, 980, 300, 100}, {0, 0, 300, 100}},
      {"screen left of the primary", {1920, 0, 1600, 1000}, {0, 0, 1920, 1080}, {-1920, -80, 1920, 1080}},
      {"screen above the primary", {0, 1080, 1600, 1000}, {0, 0, 1920, 1080}, {0, 1000, 1920, 1080}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toDesktop(c.placed, c.primary), c.desktop) << c.what;
    EXPECT_EQ(toPixels(c.desktop, c.primary), c.placed) << c.what;
  }
}

TEST(DesktopCoordinatesTest, FractionsRoundAndNonFiniteValuesNeverOverflow) {
  const PixelRect primary{0, 0, 1600, 1000};
  EXPECT_EQ(toPixels({10.4, 20.6, 100.5, 50.4}, primary), (PixelRect{10, 1000 - (21 + 50), 101, 50}));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(toPixels({nan, nan, nan, nan}, primary), (PixelRect{0, 1000, 0, 0}));
  EXPECT_EQ(toPixels({inf, -inf, 1e300, 10}, primary), (PixelRect{100000000, 1000 - (-100000000 + 10), 100000000, 10}));
  EXPECT_EQ(toPixels({0, 0, -5, -5}, primary), (PixelRect{0, 1000, 0, 0}));
}

}  // namespace
}  // namespace tovarin::desktop_coordinates
