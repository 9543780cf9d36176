#pragma once

#include <functional>

#include "main/config/Bundle.h"
#include "main/voice/VoiceAuthorizer.h"

namespace tovarin {

// The desktop has no permission system for the microphone or for speech recognition,
// so both are granted and requests succeed at once. The usage descriptions are still
// read from the bundle's Info.json, so a bundle that lost them is caught the same way.
class LinuxVoiceAuthorizer final : public VoiceAuthorizer {
 public:
  static constexpr const char* microphoneUsageKey = "NSMicrophoneUsageDescription";
  static constexpr const char* speechUsageKey = "NSSpeechRecognitionUsageDescription";

  LinuxVoiceAuthorizer(Bundle bundle, std::function<bool()> hasInputDevice);

  std::vector<std::string> missingUsageKeys() const override;
  VoicePermission microphone() const override { return VoicePermission::granted; }
  VoicePermission speech() const override { return VoicePermission::granted; }
  bool hasInputDevice() const override;
  void request(Completion completion) override { completion(std::nullopt); }
  void requestMicrophone(Completion completion) override { completion(std::nullopt); }

 private:
  const Bundle bundle_;
  const std::function<bool()> hasInputDevice_;
};

}  // namespace tovarin
