#pragma once

#include <string>

#include "base/MainLoop.h"
#include "main/voice/VoiceClipPlayer.h"

namespace tovarin {

// Plays audio files the relay synthesised (WAV, FLAC, Ogg, MP3: what libsndfile reads)
// through PulseAudio at the file's own rate and channels.
class SndfileClipPlayer final : public VoiceClipPlayer {
 public:
  // server: a Pulse server address ("unix:/path"); empty for the session's own.
  explicit SndfileClipPlayer(MainLoop& loop, std::string server = {}) : loop_(loop), server_(std::move(server)) {}

  [[nodiscard]] std::shared_ptr<VoiceClip> play(const std::string& audio, std::function<void()> ended) override;

 private:
  MainLoop& loop_;
  const std::string server_;
};

}  // namespace tovarin
