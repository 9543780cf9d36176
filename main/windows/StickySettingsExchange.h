#pragma once

#include <string>

namespace tovarin {

// Keeps the sticky window's shared settings ("floatingWindow", "stickyLevel",
// "stickySpaceScope") in step with the page and the server. The window applies a change
// of its own at once and hands it here to be written and confirmed; the exchange applies
// what the server holds through the window's present(), dismiss(), updateLevel() and
// updateSpaceScope(). Main thread only.
class StickySettingsExchange {
 public:
  virtual ~StickySettingsExchange() = default;
  // One change already applied to the window; `fallback` is the value to return to when
  // it is never confirmed.
  virtual void settingChanged(const std::string& key, const std::string& value, const std::string& fallback) = 0;
  // Reads the settings back from the server and applies them.
  virtual void syncFromServer() = 0;
};

}  // namespace tovarin
