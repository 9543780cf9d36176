#pragma once

#include <cstdint>
#include <string>

namespace tovarin {

// One cloud voice: its number and its display name.
struct HumanVoiceOption {
  int64_t id = 0;
  std::string label;
  bool operator==(const HumanVoiceOption&) const = default;
};

}  // namespace tovarin
