#pragma once

namespace tovarin {

// The vertical rhythm of the widget's list, in points: compact for the small family.
struct WidgetMetrics {
  bool compact = false;

  [[nodiscard]] constexpr double rowPitch() const { return compact ? 19 : 21; }
  [[nodiscard]] constexpr double rowSpacing() const { return compact ? 5 : 6; }
  [[nodiscard]] constexpr double listSpacing() const { return compact ? 7 : 9; }
};

}  // namespace tovarin
