#pragma once

#include "main/voice/VoiceRecognizer.h"

namespace tovarin {

// This desktop has no on-device recogniser for Chinese, and a recogniser of another
// language must never stand in for the one asked, so there is none for any locale and
// dictation takes the cloud route.
class NoVoiceRecognizerFactory final : public VoiceRecognizerFactory {
 public:
  [[nodiscard]] std::shared_ptr<VoiceRecognizer> make(const std::string& /*locale*/) override { return nullptr; }
};

}  // namespace tovarin
