#pragma once

#include "main/voice/VoiceEngineEvent.h"

namespace tovarin {

// The owner of a dictation, speak job or speech stream. The engine holds owners weakly
// (std::weak_ptr) and calls them on the main loop.
class VoiceEngineClient {
 public:
  virtual ~VoiceEngineClient() = default;
  virtual void voiceEngine(const VoiceEngineEvent& event) = 0;
};

}  // namespace tovarin
