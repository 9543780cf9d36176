#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/MainLoop.h"
#include "main/voice/VoicePcmOutput.h"

namespace tovarin {

// A PulseAudio playback stream of 16-bit little-endian PCM, written on a thread of its
// own so that the main loop never waits for the device. The server's buffer is kept
// short, so that a stop silences within a fraction of a second and a drain reports when
// the device has really played the audio.
class PulsePcmOutput final : public VoicePcmOutput {
 public:
  // server: a Pulse server address ("unix:/path"); empty for the session's own.
  PulsePcmOutput(MainLoop& loop, int sampleRate, int channels, std::string server = {}, std::string name = "speech");
  ~PulsePcmOutput() override;

  [[nodiscard]] std::optional<VoiceFailure> start() override;
  void write(std::string pcm) override;
  void drain(std::function<void()> played) override;
  void stop() override;

 private:
  struct Op {
    std::string pcm;
    std::function<void()> played;  // set: a drain
  };
  struct Shared;
  void run();

  static constexpr uint64_t prebufferMicroseconds = 20 * 1000;

  MainLoop& loop_;
  const int sampleRate_;
  const int channels_;
  const std::string server_;
  const std::string name_;
  size_t prebufferBytes_ = 0;  // set before the worker starts
  std::shared_ptr<Shared> shared_;
  std::thread worker_;
};

}  // namespace tovarin
