#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "main/page/AccessibilitySettings.h"
#include "main/page/WebView.h"

namespace tovarin {

// Mirrors the desktop's reduce-transparency and show-borders settings into classes on
// the page's root element, at document start for every later load and at once in the
// page shown now, so that the pages' style sheets can follow them. Main thread.
namespace AccessibilityDisplayBridge {

inline constexpr std::string_view reduceTransparency = "a11y-reduce-transparency";
inline constexpr std::string_view showBorders = "a11y-show-borders";

// The classes the settings call for now, in the order above.
[[nodiscard]] std::vector<std::string> currentClasses(const AccessibilitySettings& settings);

// Script that removes both known classes from the root element and adds those of
// `classes` that are known, in the given order; other names are dropped, so nothing
// from `classes` but the two constants ever enters the script.
[[nodiscard]] std::string script(const std::vector<std::string>& classes);

// Reinstalls the document-start script with the current classes and updates the page
// shown now without waiting for it.
void apply(WebView& webView, std::string_view shellClass, const AccessibilitySettings& settings);

// The main window hears about every display setting; the sticky window only about
// show borders.
void observe(AccessibilitySettings& settings, std::weak_ptr<AccessibilitySettingsObserver> observer);
void observeShowBorders(AccessibilitySettings& settings, std::weak_ptr<AccessibilitySettingsObserver> observer);

}  // namespace AccessibilityDisplayBridge
}  // namespace tovarin
