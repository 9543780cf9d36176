#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tovarin {

// One audio clip sounding; stop() silences it and its end is never reported.
class VoiceClip {
 public:
  virtual ~VoiceClip() = default;
  virtual void stop() = 0;
};

// Plays whole audio files (what the relay's synthesis answers with).
class VoiceClipPlayer {
 public:
  virtual ~VoiceClipPlayer() = default;
  // Starts playing at once; null when the data cannot be decoded or the device will not
  // start. `ended` runs on the main loop once the clip has played.
  [[nodiscard]] virtual std::shared_ptr<VoiceClip> play(const std::string& audio, std::function<void()> ended) = 0;
};

}  // namespace tovarin
