#pragma once

#include <string>

namespace tovarin {

// One text to read aloud. Speakers and listeners tell utterances apart by identity
// (the shared pointer), not by value.
struct VoiceUtterance {
  // The speaking rate on the scale the engine uses: 0 slowest, 1 fastest.
  static constexpr double minimumRate = 0.0;
  static constexpr double defaultRate = 0.5;
  static constexpr double maximumRate = 1.0;

  std::string text;
  std::string language = "zh-CN";  // BCP 47
  std::string voice;                // a voice id from the speaker's list; empty for the language's own
  double rate = defaultRate;
  double pitchMultiplier = 1.0;  // 0.5 to 2
  double volume = 1.0;           // 0 to 1
};

}  // namespace tovarin
