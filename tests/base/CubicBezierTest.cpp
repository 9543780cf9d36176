#include "base/CubicBezier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tovarin {
namespace {

TEST(CubicBezierTest, KnownCurvesAtKnownPoints) {
  struct Case {
    const char* name;
    CubicBezier curve;
    double progress;
    double value;
  } cases[] = {
      {"linear", CubicBezier(0, 0, 1, 1), 0.3, 0.3},
      {"linear", CubicBezier(0, 0, 1, 1), 0.75, 0.75},
      // Symmetric ease-in-out: the middle stays in the middle.
      {"ease-in-out", CubicBezier(0.42, 0, 0.58, 1), 0.5, 0.5},
      // Values of the stylesheet curve at a quarter and a half, from an independent
      // evaluation of its parametric form.
      {"pages' curve", CubicBezier(0.32, 0.72, 0, 1), 0.25, 0.7791},
      {"pages' curve", CubicBezier(0.32, 0.72, 0, 1), 0.5, 0.9548},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(c.curve.valueAt(c.progress), c.value, 1e-3) << c.name << " at " << c.progress;
  }
}

TEST(CubicBezierTest, EndsAreExactAndOutsideIsClamped) {
  const CubicBezier curve(0.32, 0.72, 0, 1);
  EXPECT_EQ(curve.valueAt(0), 0);
  EXPECT_EQ(curve.valueAt(1), 1);
  EXPECT_EQ(curve.valueAt(-2), 0);
  EXPECT_EQ(curve.valueAt(7), 1);
  EXPECT_EQ(curve.valueAt(std::numeric_limits<double>::quiet_NaN()), 0);
  double previous = 0;
  for (int i = 1; i <= 100; ++i) {
    const double value = curve.valueAt(i / 100.0);
    EXPECT_GE(value, previous - 1e-9) << "falls at " << i / 100.0;
    previous = value;
  }
}

}  // namespace
}  // namespace tovarin
