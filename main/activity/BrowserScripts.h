#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "main/activity_core/BrowserContextCache.h"

// The browsers whose front page can be asked for by script, and how their answer is
// read.
namespace tovarin::BrowserScripts {

enum class Kind { safari, chromium, chromiumWithoutMode };

struct Browser {
  std::string id;  // in the case scripts address the browser
  Kind kind;
  bool operator==(const Browser&) const = default;
};

// The browser for this bundle id, matched ignoring ASCII case.
[[nodiscard]] std::optional<Browser> scriptable(std::string_view bundleId);
// The script that prints the front page's address (and, for chromium, the window's mode
// on a line before it).
[[nodiscard]] std::string source(const Browser& browser);
// The page host and private-window state from a script's output.
[[nodiscard]] BrowserContextCache::Value parseOutput(Kind kind, const std::string& output);

}  // namespace tovarin::BrowserScripts
