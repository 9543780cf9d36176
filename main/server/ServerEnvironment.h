#pragma once

#include <map>
#include <optional>
#include <string>

namespace tovarin {

// The environment the local server is started with, built from the application's own
// (inherited) environment. Pure rules.
namespace ServerEnvironment {

inline constexpr const char* kLoopbackNoProxy = "localhost,127.0.0.1,::1";

struct Inputs {
  std::map<std::string, std::string> inherited;
  std::map<std::string, std::string> systemProxies;  // "HTTP_PROXY", "HTTPS_PROXY"
  std::string dataDirectory;
  std::string instanceNonce;
  std::string appVersion;
  std::string defaultCloudUrl;
  std::optional<std::string> oauthClientFile;  // the bundle's GoogleOAuthClient.json
};

std::map<std::string, std::string> build(const Inputs& inputs);

}  // namespace ServerEnvironment
}  // namespace tovarin
