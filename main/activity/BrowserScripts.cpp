#include "main/activity/BrowserScripts.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "main/activity_core/DomainSanitizer.h"

namespace tovarin::BrowserScripts {
namespace {

const std::array<std::pair<std::string_view, Browser>, 6>& table() {
  static const std::array<std::pair<std::string_view, Browser>, 6> entries{{
      {"com.apple.safari", {"com.apple.Safari", Kind::safari}},
      {"com.google.chrome", {"com.google.Chrome", Kind::chromium}},
      {"com.microsoft.edgemac", {"com.microsoft.edgemac", Kind::chromium}},
      {"com.brave.browser", {"com.brave.Browser", Kind::chromium}},
      {"com.vivaldi.vivaldi", {"com.vivaldi.Vivaldi", Kind::chromium}},
      {"company.thebrowser.browser", {"company.thebrowser.Browser", Kind::chromiumWithoutMode}},
  }};
  return entries;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string trimSpacesAndTabs(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<Browser> scriptable(std::string_view bundleId) {
  const std::string key = text::asciiLowercased(bundleId);
  for (const auto& [name, browser] : table()) {
    if (name == key) return browser;
  }
  return std::nullopt;
}

std::string source(const Browser& browser) {
  std::string script = "tell application id \"" + browser.id + "\"";
  switch (browser.kind) {
    case Kind::safari:
      return script + " to if (count of windows) > 0 then return URL of front document";
    case Kind::chromium:
      return script +
             " to if (count of windows) > 0 then return (mode of front window) & linefeed & (URL of active tab of "
             "front window)";
    case Kind::chromiumWithoutMode:
      return script + " to if (count of windows) > 0 then return URL of active tab of front window";
  }
  return script;
}

BrowserContextCache::Value parseOutput(Kind kind, const std::string& output) {
  std::string url = output;
  bool incognito = false;
  if (kind == Kind::chromium) {
    const std::vector<std::string> parts = splitLines(output);
    if (parts.size() == 2) {
      incognito = text::asciiLowercased(trimSpacesAndTabs(parts[0])) == "incognito";
      url = parts[1];
    }
  }
  return {DomainSanitizer::host(url), incognito};
}

}  // namespace tovarin::BrowserScripts
