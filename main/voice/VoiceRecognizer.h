#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main/voice/VoiceAudioBuffer.h"

namespace tovarin {

// How the engine wants one recognition run.
struct VoiceRecognitionRequest {
  bool requiresOnDevice = false;
  bool reportsPartialResults = true;
};

// One result callback: the best transcript so far (none when there is no result), whether
// it is final, and the platform's error, as given.
struct VoiceRecognitionResult {
  std::optional<std::string> text;
  bool isFinal = false;
  std::optional<std::string> error;
};

// One running recognition. The caller feeds it audio and ends the audio; cancel() stops
// it without a final result.
class VoiceRecognitionTask {
 public:
  virtual ~VoiceRecognitionTask() = default;
  virtual void append(const VoiceAudioBuffer& buffer) = 0;
  virtual void endAudio() = 0;
  virtual void cancel() = 0;
};

// One speech recogniser for one locale. Callbacks arrive on a platform thread; the
// engine moves them to the main loop.
class VoiceRecognizer {
 public:
  virtual ~VoiceRecognizer() = default;
  virtual bool isAvailable() const = 0;
  virtual bool supportsOnDeviceRecognition() const = 0;
  virtual void setOnAvailabilityChange(std::function<void(bool available)> callback) = 0;
  [[nodiscard]] virtual std::shared_ptr<VoiceRecognitionTask> recognize(
      VoiceRecognitionRequest request, std::function<void(VoiceRecognitionResult)> update) = 0;
};

// Makes the recogniser for a locale: the platform's default one when the locale has none,
// and nothing only when the platform offers no recogniser at all.
class VoiceRecognizerFactory {
 public:
  virtual ~VoiceRecognizerFactory() = default;
  [[nodiscard]] virtual std::shared_ptr<VoiceRecognizer> make(const std::string& locale) = 0;
};

}  // namespace tovarin
