#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "main/voice/VoiceCloudCancellable.h"
#include "main/voice/VoiceCloudSession.h"
#include "main/voice/VoiceCloudStatus.h"
#include "main/voice/VoiceCloudUpdate.h"
#include "main/voice/VoiceSpeakSession.h"
#include "main/voice/VoiceSpeakUpdate.h"
#include "main/voice/VoiceSynthesisResult.h"

namespace tovarin {

// The voice engine's view of the local server's voice relay. Any thread may call.
class VoiceCloudTransport {
 public:
  using StatusCompletion = std::function<void(std::optional<VoiceCloudStatus>)>;
  using SynthesisCompletion = std::function<void(VoiceSynthesisResult)>;

  virtual ~VoiceCloudTransport() = default;
  // The last status learned, or none yet.
  virtual std::optional<VoiceCloudStatus> status() const = 0;
  // Asks the relay again; the completion runs exactly once with the status cached after.
  virtual void refreshStatus(StatusCompletion completion) = 0;
  // A new dictation; updates arrive on the session's own queue.
  [[nodiscard]] virtual std::shared_ptr<VoiceCloudSession> open(const std::string& locale,
                                                               std::function<void(VoiceCloudUpdate)> update) = 0;
  [[nodiscard]] virtual std::shared_ptr<VoiceCloudCancellable> synthesize(const std::string& text, double rate,
                                                                         const std::string& locale,
                                                                         SynthesisCompletion completion) = 0;
  // A streamed-speech socket, or none where the transport has no streamed speech.
  [[nodiscard]] virtual std::shared_ptr<VoiceSpeakSession> openSpeak(int64_t /*voice*/, double /*rate*/,
                                                                     std::function<void(VoiceSpeakUpdate)> /*update*/) {
    return nullptr;
  }
};

}  // namespace tovarin
