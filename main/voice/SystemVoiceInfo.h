#pragma once

#include <string>

namespace tovarin {

// One installed system voice as the page lists it.
struct SystemVoiceInfo {
  std::string id;
  std::string name;
  std::string language;         // BCP 47, "cmn" voices report "zh-CN"
  std::string quality = "default";  // "default", "enhanced" or "premium"
  bool operator==(const SystemVoiceInfo&) const = default;
};

}  // namespace tovarin
