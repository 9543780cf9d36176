#pragma once

#include <cstdint>

namespace tovarin {

// A browser's permission to be asked for its page address, as last probed.
enum class ActivityAutomation { allowed, denied, notAsked, notRunning, unknown };

// 0 allowed, -1743 denied, -1744 not asked yet, -600 not running; anything else unknown.
[[nodiscard]] constexpr ActivityAutomation automationFromStatus(std::int32_t status) {
  switch (status) {
    case 0: return ActivityAutomation::allowed;
    case -1743: return ActivityAutomation::denied;
    case -1744: return ActivityAutomation::notAsked;
    case -600: return ActivityAutomation::notRunning;
    default: return ActivityAutomation::unknown;
  }
}

}  // namespace tovarin
