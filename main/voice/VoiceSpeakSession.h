#pragma once

#include <string>

namespace tovarin {

// One streamed-speech socket: text goes up, 16 kHz PCM comes back as VoiceSpeakUpdate.
class VoiceSpeakSession {
 public:
  virtual ~VoiceSpeakSession() = default;
  virtual void send(std::string text) = 0;
  virtual void end() = 0;
  virtual void stop() = 0;
};

}  // namespace tovarin
