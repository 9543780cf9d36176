#include "base/CubicBezier.h"

#include <algorithm>
#include <cmath>

namespace tovarin {
namespace {

// B(t) for one coordinate with the ends at 0 and 1.
double bezier(double t, double p1, double p2) {
  const double u = 1 - t;
  return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

}  // namespace

CubicBezier::CubicBezier(double x1, double y1, double x2, double y2)
    : x1_(std::clamp(x1, 0.0, 1.0)), y1_(y1), x2_(std::clamp(x2, 0.0, 1.0)), y2_(y2) {}

double CubicBezier::sampleX(double t) const { return bezier(t, x1_, x2_); }

double CubicBezier::sampleY(double t) const { return bezier(t, y1_, y2_); }

double CubicBezier::slopeX(double t) const {
  const double u = 1 - t;
  return 3 * u * u * x1_ + 6 * u * t * (x2_ - x1_) + 3 * t * t * (1 - x2_);
}

// x(t) rises monotonically with x1, x2 in [0, 1]: Newton's method where the slope
// allows, bisection to finish where it does not.
double CubicBezier::parameterForX(double x) const {
  double t = x;
  for (int i = 0; i < 8; ++i) {
    const double error = sampleX(t) - x;
    if (std::fabs(error) < 1e-7) return t;
    const double slope = slopeX(t);
    if (std::fabs(slope) < 1e-6) break;
    t = std::clamp(t - error / slope, 0.0, 1.0);
  }
  double low = 0;
  double high = 1;
  t = x;
  for (int i = 0; i < 60 && high - low > 1e-9; ++i) {
    if (sampleX(t) < x) {
      low = t;
    } else {
      high = t;
    }
    t = (low + high) / 2;
  }
  return t;
}

double CubicBezier::valueAt(double progress) const {
  if (!(progress > 0)) return 0;  // also NaN
  if (progress >= 1) return 1;
  return sampleY(parameterForX(progress));
}

}  // namespace tovarin
