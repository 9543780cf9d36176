#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "main/voice/VoicePermission.h"

namespace tovarin {

// Permissions and the bundle's usage declarations.
class VoiceAuthorizer {
 public:
  // No code on success, else an error code ("permission-denied").
  using Completion = std::function<void(std::optional<std::string> code)>;

  virtual ~VoiceAuthorizer() = default;
  virtual std::vector<std::string> missingUsageKeys() const = 0;
  virtual VoicePermission microphone() const = 0;
  virtual VoicePermission speech() const = 0;
  virtual bool hasInputDevice() const = 0;
  // Speech recognition first, then the microphone; the completion runs once.
  virtual void request(Completion completion) = 0;
  virtual void requestMicrophone(Completion completion) { request(std::move(completion)); }
};

}  // namespace tovarin
