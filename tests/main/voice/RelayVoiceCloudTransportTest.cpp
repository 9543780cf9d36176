#include "main/voice/RelayVoiceCloudTransport.h"

#include <gtest/gtest.h>

#include "main/voice/RelaySessionSocket.h"
#include "main/voice/RelayVoiceCloudSession.h"

namespace tovarin {
namespace {

TEST(RelayVoiceCloudTransportRulesTest, RouteUrls) {
  using Query = RelayVoiceCloudTransport::QueryItems;
  struct Case {
    std::string base;
    std::string route;
    bool socket;
    Query query;
    std::optional<std::string> url;
  };
  const Case cases[] = {
      {"http://127.0.0.1:4173", "/api/voice/asr", true, {}, "ws://127.0.0.1:4173/api/voice/asr"},
      {"http://127.0.0.1:4173", "/api/voice/asr", true, {{"lang", "en"}}, "ws://127.0.0.1:4173/api/voice/asr?lang=en"},
      {"https://relay.example:8443/", "api//voice/speak/", true, {}, "wss://relay.example:8443/api/voice/speak"},
      {"HTTPS://relay.example", "/x", true, {}, "wss://relay.example/x"},
      {"http://127.0.0.1:4173/", "/api/voice/status", false, {}, "http://127.0.0.1:4173/api/voice/status"},
      {"http://127.0.0.1:4173/base", "/api/voice/tts", false, {}, "http://127.0.0.1:4173/base/api/voice/tts"},
      {"http://h", "/p", false, {{"a b", "c&d"}}, "http://h/p?a%20b=c%26d"},
      {"not a url", "/p", false, {}, std::nullopt},
      {"", "/p", true, {}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RelayVoiceCloudTransport::routeUrl(c.base, c.route, c.socket, c.query), c.url) << c.base << c.route;
  }
}

TEST(RelayVoiceCloudTransportRulesTest, OnlyEnglishLocalesAskForALanguage) {
  const RelayVoiceCloudTransport::QueryItems english = {{"lang", "en"}};
  for (const char* locale : {"en-US", "EN", "en", "en_GB", "En-au"}) {
    EXPECT_EQ(RelayVoiceCloudTransport::languageQuery(locale), english) << locale;
  }
  for (const char* locale : {"zh-CN", "", "fr-FR", "zh-Hans", " en"}) {
    EXPECT_TRUE(RelayVoiceCloudTransport::languageQuery(locale).empty()) << locale;
  }
}

TEST(RelayVoiceCloudTransportRulesTest, HandshakeStatusesMapToCodes) {
  const std::pair<int, const char*> cases[] = {
      {0, "network"},          {101, "network"},     {200, "network"},       {399, "network"},
      {400, "bad-request"},    {401, "signed-out"},  {403, "bad-request"},   {404, "cloud-unconfigured"},
      {429, "cloud-busy"},     {499, "bad-request"}, {500, "cloud-unavailable"}, {599, "cloud-unavailable"},
  };
  for (const auto& [status, code] : cases) EXPECT_EQ(RelaySessionSocket::failureCode(status), code) << status;
}

TEST(RelayVoiceCloudTransportRulesTest, LocalServerRoutes) {
  const auto routes = RelayVoiceCloudTransport::Routes::localServer();
  EXPECT_EQ(routes, (RelayVoiceCloudTransport::Routes{"/api/voice/asr", "/api/voice/status", "/api/voice/tts",
                                                      "/api/voice/speak"}));
}

}  // namespace
}  // namespace tovarin
