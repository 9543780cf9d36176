#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovarin {

// One installed system voice as the "voices" list gives it.
struct SystemVoice {
  std::string id;        // what a page passes back to ask for this voice
  std::string name;
  std::string language;  // BCP 47, lower-case as the platform lists it ("cmn", "en-us")
  std::vector<std::string> otherLanguages;  // further languages it speaks ("zh-cmn", "zh")
  std::string quality = "default";           // "default", "enhanced" or "premium"

  bool operator==(const SystemVoice&) const = default;

  // The voice with exactly that id; else the first that speaks the locale, by its
  // whole tag and then by its primary language; else none.
  static std::optional<SystemVoice> choose(const std::vector<SystemVoice>& voices, const std::optional<std::string>& id,
                                           const std::string& locale);
};

// The system voices installed on this computer.
class VoiceCatalog {
 public:
  virtual ~VoiceCatalog() = default;
  virtual std::vector<SystemVoice> voices() = 0;
};

}  // namespace tovarin
