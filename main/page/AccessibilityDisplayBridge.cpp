#include "main/page/AccessibilityDisplayBridge.h"

#include "main/page/WebViewFactory.h"

namespace tovarin::AccessibilityDisplayBridge {
namespace {

std::string quotedList(const std::vector<std::string_view>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += ",";
    text += "'";
    text += names[i];
    text += "'";
  }
  return text;
}

}  // namespace

std::vector<std::string> currentClasses(const AccessibilitySettings& settings) {
  std::vector<std::string> classes;
  if (settings.reduceTransparency()) classes.emplace_back(reduceTransparency);
  if (settings.showBorders()) classes.emplace_back(showBorders);
  return classes;
}

std::string script(const std::vector<std::string>& classes) {
  std::vector<std::string_view> known;
  for (const auto& name : classes) {
    // The constants, not the caller's text, go into the script.
    if (name == reduceTransparency) known.push_back(reduceTransparency);
    if (name == showBorders) known.push_back(showBorders);
  }
  std::string text = "(function(c){c.remove(" + quotedList({reduceTransparency, showBorders}) + ");";
  if (!known.empty()) text += "c.add(" + quotedList(known) + ");";
  text += "})(document.documentElement.classList);";
  return text;
}

void apply(WebView& webView, std::string_view shellClass, const AccessibilitySettings& settings) {
  const auto classes = currentClasses(settings);
  WebViewFactory::installDocumentStartScripts(webView, shellClass, classes);
  webView.evaluate(script(classes), nullptr);
}

void observe(AccessibilitySettings& settings, std::weak_ptr<AccessibilitySettingsObserver> observer) {
  settings.addObserver(std::move(observer), AccessibilityChanges::allDisplaySettings);
}

void observeShowBorders(AccessibilitySettings& settings, std::weak_ptr<AccessibilitySettingsObserver> observer) {
  settings.addObserver(std::move(observer), AccessibilityChanges::showBordersOnly);
}

}  // namespace tovarin::AccessibilityDisplayBridge
