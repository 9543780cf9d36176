#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "main/voice/VoicePcmOutput.h"
#include "main/voice/VoiceStreamPlayer.h"

namespace tovarin {

// Plays the relay's streamed speech (16 kHz mono 16-bit little-endian) as it arrives.
// Relay messages need not hold whole samples: an odd byte waits for the next push.
// Main loop only.
class StreamingVoicePlayer final : public VoiceStreamPlayer, public std::enable_shared_from_this<StreamingVoicePlayer> {
 public:
  explicit StreamingVoicePlayer(std::unique_ptr<VoicePcmOutput> output);
  ~StreamingVoicePlayer() override;

  bool started() const override { return started_; }
  [[nodiscard]] bool start() override;
  void push(const std::string& pcm) override;
  void finish(std::function<void()> completion) override;
  void stop() override;

 private:
  void settle(uint64_t generation);

  std::unique_ptr<VoicePcmOutput> output_;
  std::optional<char> carry_;
  uint64_t scheduled_ = 0;  // buffers written
  uint64_t generation_ = 0;  // of the latest finish
  std::function<void()> finishing_;
  bool running_ = false;
  bool started_ = false;
};

}  // namespace tovarin
