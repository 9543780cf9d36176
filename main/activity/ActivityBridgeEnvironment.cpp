#include "main/activity/ActivityBridgeEnvironment.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <array>

#include "base/LowerHex.h"
#include "base/UserRuntimeDirectory.h"

namespace tovarin::ActivityBridgeEnvironment {

std::string socketPath(const std::string& runtimeDirectory, pid_t pid) {
  return runtimeDirectory + "/tovarin-activity-" + std::to_string(pid) + ".sock";
}

std::string socketPath() { return socketPath(UserRuntimeDirectory::path(ProcessEnvironment::shared()), ::getpid()); }

std::string sha256Hex(std::string_view text) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return "";
  return lowerHex(std::span<const unsigned char>(digest.data(), length));
}

void exportTo(ProcessEnvironment& serverEnvironment, const std::string& socketPath, const std::string& token,
              const std::string& pageToken) {
  serverEnvironment.set(socketKey, socketPath);
  serverEnvironment.set(tokenKey, token);
  serverEnvironment.set(pageHashKey, sha256Hex(pageToken));
}

void clear(ProcessEnvironment& serverEnvironment) {
  serverEnvironment.unset(socketKey);
  serverEnvironment.unset(tokenKey);
  serverEnvironment.unset(pageHashKey);
}

}  // namespace tovarin::ActivityBridgeEnvironment
