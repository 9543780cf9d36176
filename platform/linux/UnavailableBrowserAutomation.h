#pragma once

#include "main/activity/BrowserAutomation.h"

namespace tovarin {

// Linux browsers offer no script interface that tells their front page's address, so
// no page host is ever read: every browser counts as unsupported.
class UnavailableBrowserAutomation final : public BrowserAutomation {
 public:
  bool available() const override { return false; }
  std::int32_t automationStatus(const std::string&, bool) override { return notRunningOrUnsupported; }
  std::optional<std::string> runScript(const std::string&, double) override { return std::nullopt; }
};

}  // namespace tovarin
