#pragma once

#include <memory>
#include <string>

#include "main/voice/VoiceUtterance.h"

namespace tovarin {

// Implemented by the engine; called on the main loop.
class VoiceSpeakerListener {
 public:
  using Utterance = std::shared_ptr<const VoiceUtterance>;

  virtual ~VoiceSpeakerListener() = default;
  virtual void speakerDidStart(const Utterance& utterance) = 0;
  virtual void speakerDidFinish(const Utterance& utterance) = 0;
  virtual void speakerDidCancel(const Utterance& utterance) = 0;
  virtual void speakerDidFail(const Utterance& utterance, const std::string& code) = 0;
};

}  // namespace tovarin
