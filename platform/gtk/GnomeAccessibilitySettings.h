#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/MainLoop.h"
#include "main/page/AccessibilitySettings.h"

struct _GSettings;

namespace tovarin {

// The desktop's display settings from GNOME's settings and GTK's own:
// - show borders: org.gnome.desktop.a11y.interface high-contrast, or a high-contrast
//   GTK theme;
// - reduce transparency: a "reduce-transparency" key of the same schema where the
//   desktop has one (GNOME 43 has none: then off);
// - dark appearance: org.gnome.desktop.interface color-scheme "prefer-dark", or GTK's
//   prefer-dark setting, or a dark GTK theme.
// A schema the system lacks is looked up without aborting and reads as off. Lives on
// the main loop; observers hear about changes through it.
class GnomeAccessibilitySettings final : public AccessibilitySettings,
                                         public std::enable_shared_from_this<GnomeAccessibilitySettings> {
 public:
  struct Schemas {
    std::string accessibility = "org.gnome.desktop.a11y.interface";
    std::string interface = "org.gnome.desktop.interface";
  };
  static std::shared_ptr<GnomeAccessibilitySettings> create(MainLoop& loop);
  static std::shared_ptr<GnomeAccessibilitySettings> create(MainLoop& loop, Schemas schemas);
  ~GnomeAccessibilitySettings() override;
  GnomeAccessibilitySettings(const GnomeAccessibilitySettings&) = delete;
  GnomeAccessibilitySettings& operator=(const GnomeAccessibilitySettings&) = delete;

  bool reduceTransparency() const override;
  bool showBorders() const override;
  bool prefersDarkAppearance() const override;
  void addObserver(std::weak_ptr<AccessibilitySettingsObserver> observer, AccessibilityChanges changes) override;

  // Entry point of the change signals (public for the C callbacks).
  void onSomethingChanged();

 private:
  GnomeAccessibilitySettings(MainLoop& loop, Schemas schemas);
  void connectSignals();
  void notify(bool showBordersChanged);

  struct Values {
    bool reduceTransparency = false;
    bool showBorders = false;
    bool dark = false;
  };
  Values read() const;

  MainLoop& loop_;
  _GSettings* accessibility_ = nullptr;  // null when the schema is missing
  _GSettings* interface_ = nullptr;      // null when the schema is missing
  std::vector<std::pair<void*, unsigned long>> signalHandlers_;
  std::vector<std::pair<std::weak_ptr<AccessibilitySettingsObserver>, AccessibilityChanges>> observers_;
  Values last_;
};

}  // namespace tovarin
