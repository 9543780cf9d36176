#pragma once

#include <memory>

namespace tovarin {

// Told on the main thread that the desktop's display settings changed; it then reads
// the new values from AccessibilitySettings.
class AccessibilitySettingsObserver {
 public:
  virtual ~AccessibilitySettingsObserver() = default;
  virtual void accessibilitySettingsDidChange() = 0;
};

// Which changes an observer wants to hear about.
enum class AccessibilityChanges {
  allDisplaySettings,  // reduce transparency, show borders and the light/dark appearance
  showBordersOnly,     // the show-borders (high contrast) setting alone
};

// The desktop's display settings that the pages follow. Main thread only.
// On the Linux desktop "show borders" is the desktop's high-contrast setting; a desktop
// without a setting reports it as off.
class AccessibilitySettings {
 public:
  virtual ~AccessibilitySettings() = default;
  virtual bool reduceTransparency() const = 0;
  virtual bool showBorders() const = 0;
  // The desktop prefers a dark appearance (the native window ground follows it).
  virtual bool prefersDarkAppearance() const = 0;
  // Observers are held weakly and dropped once gone; notifications arrive on the main
  // thread after the new values can be read.
  virtual void addObserver(std::weak_ptr<AccessibilitySettingsObserver> observer,
                           AccessibilityChanges changes) = 0;
};

}  // namespace tovarin
