#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "main/page/AccessibilitySettings.h"

namespace tovarin {

// Display settings the test flips; change() notifies the observers that asked for that
// kind of change, as the desktop would. Test thread only.
class FakeAccessibilitySettings final : public AccessibilitySettings {
 public:
  bool reduceTransparency() const override { return reduceTransparency_; }
  bool showBorders() const override { return showBorders_; }
  bool prefersDarkAppearance() const override { return dark_; }
  void addObserver(std::weak_ptr<AccessibilitySettingsObserver> observer, AccessibilityChanges changes) override;

  // Sets the values, then notifies: a show-borders change reaches every observer, the
  // others only those of all display settings.
  void change(bool reduceTransparency, bool showBorders, bool dark);
  // Sets the values without telling anyone (the state before observers exist).
  void set(bool reduceTransparency, bool showBorders, bool dark);
  size_t liveObserverCount() const;

 private:
  std::vector<std::pair<std::weak_ptr<AccessibilitySettingsObserver>, AccessibilityChanges>> observers_;
  bool reduceTransparency_ = false;
  bool showBorders_ = false;
  bool dark_ = false;
};

}  // namespace tovarin
