#include "platform/linux/LinuxVoiceAuthorizer.h"

namespace tovarin {

LinuxVoiceAuthorizer::LinuxVoiceAuthorizer(Bundle bundle, std::function<bool()> hasInputDevice)
    : bundle_(std::move(bundle)), hasInputDevice_(std::move(hasInputDevice)) {}

std::vector<std::string> LinuxVoiceAuthorizer::missingUsageKeys() const {
  std::vector<std::string> missing;
  for (const char* key : {microphoneUsageKey, speechUsageKey}) {
    auto value = bundle_.infoString(key);
    if (!value || value->empty()) missing.emplace_back(key);
  }
  return missing;
}

bool LinuxVoiceAuthorizer::hasInputDevice() const { return hasInputDevice_ && hasInputDevice_(); }

}  // namespace tovarin
