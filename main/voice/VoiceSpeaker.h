#pragma once

#include <memory>

#include "main/voice/VoiceSpeakerListener.h"
#include "main/voice/VoiceUtterance.h"

namespace tovarin {

enum class VoiceSpeechBoundary { immediate, word };

// Something that reads utterances aloud and tells its listener, on the main loop, when
// each one started, finished, was cancelled or failed.
class VoiceSpeaker {
 public:
  static constexpr double defaultStartGrace = 4.0;

  virtual ~VoiceSpeaker() = default;
  virtual void setListener(std::weak_ptr<VoiceSpeakerListener> listener) = 0;
  virtual void speak(std::shared_ptr<const VoiceUtterance> utterance, bool whileListening) = 0;
  // Whether anything was stopped.
  virtual bool stopSpeaking(VoiceSpeechBoundary boundary) = 0;
  virtual void becameQuiet(bool /*whileListening*/) {}
  // Seconds within which the speaker must report that the utterance started.
  virtual double startGrace(const VoiceUtterance& /*utterance*/) const { return defaultStartGrace; }
};

}  // namespace tovarin
