#include "tests/support/FakeAccessibilitySettings.h"

namespace tovarin {

void FakeAccessibilitySettings::addObserver(std::weak_ptr<AccessibilitySettingsObserver> observer,
                                            AccessibilityChanges changes) {
  observers_.emplace_back(std::move(observer), changes);
}

void FakeAccessibilitySettings::set(bool reduceTransparency, bool showBorders, bool dark) {
  reduceTransparency_ = reduceTransparency;
  showBorders_ = showBorders;
  dark_ = dark;
}

void FakeAccessibilitySettings::change(bool reduceTransparency, bool showBorders, bool dark) {
  const bool bordersChanged = showBorders != showBorders_;
  const bool othersChanged = reduceTransparency != reduceTransparency_ || dark != dark_;
  set(reduceTransparency, showBorders, dark);
  // Copy first: an observer may add another while it is told.
  auto observers = observers_;
  for (auto& [weak, changes] : observers) {
    const bool wanted = bordersChanged || (othersChanged && changes == AccessibilityChanges::allDisplaySettings);
    if (!wanted) continue;
    if (auto observer = weak.lock()) observer->accessibilitySettingsDidChange();
  }
}

size_t FakeAccessibilitySettings::liveObserverCount() const {
  size_t live = 0;
  for (const auto& entry : observers_) live += entry.first.expired() ? 0 : 1;
  return live;
}

}  // namespace tovarin
