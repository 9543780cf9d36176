#pragma once

namespace tovarin {

// A timing curve from (0, 0) to (1, 1) through two control points, as animations and
// stylesheets describe easing: for a share of the duration, the share of the change.
class CubicBezier final {
 public:
  // x1 and x2 are kept within [0, 1], so that the curve is a function of time.
  CubicBezier(double x1, double y1, double x2, double y2);

  // progress is clamped to [0, 1]; the ends map to exactly 0 and 1.
  [[nodiscard]] double valueAt(double progress) const;

 private:
  double sampleX(double t) const;
  double sampleY(double t) const;
  double slopeX(double t) const;
  double parameterForX(double x) const;

  double x1_, y1_, x2_, y2_;
};

}  // namespace tovarin
