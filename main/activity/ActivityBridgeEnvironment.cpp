#include "main/activity/ActivityBridgeEnvironment.h"

// The one-shot digest of the legacy interface: the launch hashes one token, and the
// provider machinery behind EVP would cost it megabytes it never needs again.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
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
  std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
  SHA256_CTX context;
  if (SHA256_Init(&context) != 1 || SHA256_Update(&context, text.data(), text.size()) != 1 ||
      SHA256_Final(digest.data(), &context) != 1) {
    return "";
  }
  return lowerHex(digest);
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
