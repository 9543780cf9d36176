#include "main/server/ServerEnvironment.h"

namespace tovarin::ServerEnvironment {
namespace {

bool holdsNonEmpty(const std::map<std::string, std::string>& environment, const std::string& key) {
  auto found = environment.find(key);
  return found != environment.end() && !found->second.empty();
}

}  // namespace

std::map<std::string, std::string> build(const Inputs& inputs) {
  std::map<std::string, std::string> environment = inputs.inherited;
  // A value the user set on purpose wins over the system settings; an empty one does not.
  for (const auto& [key, value] : inputs.systemProxies) {
    if (!holdsNonEmpty(environment, key)) environment[key] = value;
  }
  // The server must never reach its own loopback address through a proxy.
  environment["NO_PROXY"] = holdsNonEmpty(environment, "NO_PROXY")
                                ? environment["NO_PROXY"] + "," + kLoopbackNoProxy
                                : std::string(kLoopbackNoProxy);
  environment["NODE_USE_ENV_PROXY"] = "1";
  environment["NODE_USE_SYSTEM_CA"] = "1";
  environment["VORN_DATA"] = inputs.dataDirectory + "/calendar.json";
  environment["VORN_CONFIG"] = inputs.dataDirectory + "/config.json";
  environment["VORN_INSTANCE_NONCE"] = inputs.instanceNonce;
  environment["VORN_APP_VERSION"] = inputs.appVersion;
  if (!holdsNonEmpty(environment, "VORN_ORVIK_DEFAULT_URL")) environment["VORN_ORVIK_DEFAULT_URL"] = inputs.defaultCloudUrl;
  if (inputs.oauthClientFile) environment["GOOGLE_OAUTH_CLIENT_FILE"] = *inputs.oauthClientFile;
  return environment;
}

}  // namespace tovarin::ServerEnvironment
