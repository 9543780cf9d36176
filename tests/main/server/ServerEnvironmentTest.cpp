#include "main/server/ServerEnvironment.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using Environment = std::map<std::string, std::string>;

ServerEnvironment::Inputs inputsWith(Environment inherited, Environment proxies = {}) {
  ServerEnvironment::Inputs inputs;
  inputs.inherited = std::move(inherited);
  inputs.systemProxies = std::move(proxies);
  inputs.dataDirectory = "/data/TheTovarin";
  inputs.instanceNonce = "0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9";
  inputs.appVersion = "0.2.0";
  inputs.defaultCloudUrl = "https://account.orvik.cn";
  return inputs;
}

TEST(ServerEnvironmentTest, AddsTheServersVariablesToTheInheritedOnes) {
  Environment built = ServerEnvironment::build(inputsWith({{"PATH", "/bin"}, {"LANG", "zh_CN.UTF-8"}}));
  EXPECT_EQ(built, (Environment{
                       {"PATH", "/bin"},
                       {"LANG", "zh_CN.UTF-8"},
                       {"NO_PROXY", "localhost,127.0.0.1,::1"},
                       {"NODE_USE_ENV_PROXY", "1"},
                       {"NODE_USE_SYSTEM_CA", "1"},
                       {"VORN_DATA", "/data/TheTovarin/calendar.json"},
                       {"VORN_CONFIG", "/data/TheTovarin/config.json"},
                       {"VORN_INSTANCE_NONCE", "0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"},
                       {"VORN_APP_VERSION", "0.2.0"},
                       {"VORN_ORVIK_DEFAULT_URL", "https://account.orvik.cn"},
                   }));
}

TEST(ServerEnvironmentTest, InheritedValuesAgainstSystemSettingsAndDefaults) {
  const Environment proxies = {{"HTTP_PROXY", "http://sys:3128"}, {"HTTPS_PROXY", "http://sys:3129"}};
  struct Case {
    const char* name;
    Environment inherited;
    Environment expected;  // the keys that matter here
  };
  const Case cases[] = {
      {"nothing inherited", {},
       {{"HTTP_PROXY", "http://sys:3128"}, {"HTTPS_PROXY", "http://sys:3129"}, {"NO_PROXY", "localhost,127.0.0.1,::1"},
        {"VORN_ORVIK_DEFAULT_URL", "https://account.orvik.cn"}}},
      {"inherited non-empty proxy kept", {{"HTTPS_PROXY", "http://mine:1"}},
       {{"HTTP_PROXY", "http://sys:3128"}, {"HTTPS_PROXY", "http://mine:1"}}},
      {"inherited empty proxy replaced", {{"HTTPS_PROXY", ""}, {"HTTP_PROXY", ""}},
       {{"HTTP_PROXY", "http://sys:3128"}, {"HTTPS_PROXY", "http://sys:3129"}}},
      {"NO_PROXY appended", {{"NO_PROXY", "corp.lan"}}, {{"NO_PROXY", "corp.lan,localhost,127.0.0.1,::1"}}},
      {"empty NO_PROXY left out", {{"NO_PROXY", ""}}, {{"NO_PROXY", "localhost,127.0.0.1,::1"}}},
      {"cloud URL kept", {{"VORN_ORVIK_DEFAULT_URL", "https://staging.example"}},
       {{"VORN_ORVIK_DEFAULT_URL", "https://staging.example"}}},
      {"empty cloud URL replaced", {{"VORN_ORVIK_DEFAULT_URL", ""}},
       {{"VORN_ORVIK_DEFAULT_URL", "https://account.orvik.cn"}}},
      {"stale server variables overwritten",
       {{"VORN_INSTANCE_NONCE", "old"}, {"VORN_APP_VERSION", "0.1"}, {"VORN_DATA", "/x"}, {"NODE_USE_ENV_PROXY", "0"}},
       {{"VORN_INSTANCE_NONCE", "0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9"}, {"VORN_APP_VERSION", "0.2.0"},
        {"VORN_DATA", "/data/TheTovarin/calendar.json"}, {"NODE_USE_ENV_PROXY", "1"}}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    Environment built = ServerEnvironment::build(inputsWith(testCase.inherited, proxies));
    for (const auto& [key, value] : testCase.expected) {
      auto found = built.find(key);
      ASSERT_NE(found, built.end()) << key;
      EXPECT_EQ(found->second, value) << key;
    }
  }
}

TEST(ServerEnvironmentTest, OAuthClientFileOnlyWhenTheBundleHasIt) {
  auto inputs = inputsWith({{"GOOGLE_OAUTH_CLIENT_FILE", "/inherited.json"}});
  EXPECT_EQ(ServerEnvironment::build(inputs).at("GOOGLE_OAUTH_CLIENT_FILE"), "/inherited.json");
  inputs.oauthClientFile = "/bundle/GoogleOAuthClient.json";
  EXPECT_EQ(ServerEnvironment::build(inputs).at("GOOGLE_OAUTH_CLIENT_FILE"), "/bundle/GoogleOAuthClient.json");
  EXPECT_EQ(ServerEnvironment::build(inputsWith({})).count("GOOGLE_OAUTH_CLIENT_FILE"), 0u);
}

}  // namespace
}  // namespace tovarin
