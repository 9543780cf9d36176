#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovarin {

// Scripting a browser to learn its front page's address.
class BrowserAutomation {
 public:
  // The permission statuses callers tell apart.
  static constexpr std::int32_t allowed = 0;
  static constexpr std::int32_t notPermitted = -1743;
  static constexpr std::int32_t wouldAskUser = -1744;
  static constexpr std::int32_t notRunningOrUnsupported = -600;

  virtual ~BrowserAutomation() = default;

  // Any thread. False where this desktop has no way to script browsers at all.
  [[nodiscard]] virtual bool available() const = 0;
  // Any thread; blocks while the user is asked (only when ask is true). scriptId is
  // the browser's id as scripts address it.
  [[nodiscard]] virtual std::int32_t automationStatus(const std::string& scriptId, bool ask) = 0;
  // The read queue; blocks up to timeoutSeconds. The script's trimmed output; nothing
  // on any failure.
  [[nodiscard]] virtual std::optional<std::string> runScript(const std::string& source, double timeoutSeconds) = 0;
};

}  // namespace tovarin
