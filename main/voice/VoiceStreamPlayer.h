#pragma once

#include <functional>
#include <string>

namespace tovarin {

// Plays streamed 16 kHz mono 16-bit little-endian PCM as it arrives. Used on the main
// loop; completions run there.
class VoiceStreamPlayer {
 public:
  virtual ~VoiceStreamPlayer() = default;
  // Whether any audio has been scheduled.
  virtual bool started() const = 0;
  // False when the sound device cannot be opened.
  [[nodiscard]] virtual bool start() = 0;
  virtual void push(const std::string& pcm) = 0;
  // The completion runs once everything scheduled has played, replacing an earlier one.
  virtual void finish(std::function<void()> completion) = 0;
  // Silences at once; a pending finish completion never runs.
  virtual void stop() = 0;
};

}  // namespace tovarin
