#pragma once

#include <string>

namespace tovarin {

// One cloud dictation. Any thread may call; the work runs in call order.
class VoiceCloudSession {
 public:
  virtual ~VoiceCloudSession() = default;
  // 16 kHz mono 16-bit little-endian PCM, in any amounts.
  virtual void send(std::string pcm) = 0;
  // No more audio: the relay answers with the final transcript.
  virtual void finish() = 0;
  // Abandons the dictation; no update follows.
  virtual void cancel() = 0;
};

}  // namespace tovarin
