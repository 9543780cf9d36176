#include <gtest/gtest.h>

#include "main/voice/VoiceCapabilities.h"
#include "main/voice/VoiceEngineEvent.h"
#include "main/voice/VoicePermission.h"
#include "main/voice/VoiceRelayProtocol.h"

namespace tovarin {
namespace {

TEST(VoicePayloadTest, EngineEventsCarryExactlyTheirKeys) {
  using E = VoiceEngineEvent;
  struct Case {
    VoiceEngineEvent event;
    Json expected;
  };
  const Case cases[] = {
      {E::Listening{"d1", true, "start"},
       {{"type", "listen.state"}, {"id", "d1"}, {"state", "listening"}, {"onDevice", true}, {"reason", "start"},
        {"protocol", 1}}},
      {E::Partial{"d1", "你好", false},
       {{"type", "listen.partial"}, {"id", "d1"}, {"text", "你好"}, {"onDevice", false}, {"protocol", 1}}},
      {E::Finished{"d1", "你好。", false, "stopped"},
       {{"type", "listen.final"}, {"id", "d1"}, {"text", "你好。"}, {"onDevice", false}, {"reason", "stopped"},
        {"protocol", 1}}},
      {E::Failed{"d2", "no-speech", std::nullopt, std::nullopt},
       {{"type", "listen.error"}, {"id", "d2"}, {"code", "no-speech"}, {"protocol", 1}}},
      {E::Failed{"d2", "network", "连不上", "cloud"},
       {{"type", "listen.error"}, {"id", "d2"}, {"code", "network"}, {"message", "连不上"}, {"reason", "cloud"},
        {"protocol", 1}}},
      {E::Failed{"d2", "aborted", std::nullopt, "replaced"},
       {{"type", "listen.error"}, {"id", "d2"}, {"code", "aborted"}, {"reason", "replaced"}, {"protocol", 1}}},
      {E::SpeakStarted{"s"}, {{"type", "speak.start"}, {"id", "s"}, {"protocol", 1}}},
      {E::SpeakEnded{"s", true}, {{"type", "speak.end"}, {"id", "s"}, {"cancelled", true}, {"protocol", 1}}},
      {E::SpeakFailed{"s", "speak-failed", "读不出来"},
       {{"type", "speak.error"}, {"id", "s"}, {"code", "speak-failed"}, {"message", "读不出来"}, {"protocol", 1}}},
      {E::SpeakStreamFailed{"t", "network", "断了", true},
       {{"type", "speak.error"}, {"id", "t"}, {"code", "network"}, {"message", "断了"}, {"started", true},
        {"protocol", 1}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.event.pagePayload(), c.expected) << c.expected.dump();
    EXPECT_EQ(c.event.id(), c.expected["id"].get<std::string>());
  }
}

TEST(VoicePayloadTest, EventsCompareFieldByField) {
  using E = VoiceEngineEvent;
  EXPECT_EQ(VoiceEngineEvent(E::SpeakEnded{"a", false}), VoiceEngineEvent(E::SpeakEnded{"a", false}));
  EXPECT_NE(VoiceEngineEvent(E::SpeakEnded{"a", false}), VoiceEngineEvent(E::SpeakEnded{"a", true}));
  EXPECT_NE(VoiceEngineEvent(E::SpeakFailed{"a", "c", "m"}),
            VoiceEngineEvent(E::SpeakStreamFailed{"a", "c", "m", false}));
}

TEST(VoicePayloadTest, CapabilitiesPayload) {
  VoiceCapabilities capabilities{.input = true,
                                 .output = true,
                                 .onDeviceSupported = false,
                                 .missingUsageKeys = {"NSMicrophoneUsageDescription"},
                                 .microphone = VoicePermission::granted,
                                 .speech = VoicePermission::restricted,
                                 .onDeviceOnly = false,
                                 .cloudFallback = true,
                                 .humanVoice = true,
                                 .humanVoices = {{601000, "知性女声"}, {7, "B"}},
                                 .humanDefault = 601000};
  const Json expected = {
      {"protocol", 1},
      {"input", true},
      {"output", true},
      {"onDeviceSupported", false},
      {"missingUsageKeys", {"NSMicrophoneUsageDescription"}},
      {"permissions", {{"microphone", "granted"}, {"speech", "restricted"}}},
      {"onDeviceOnly", false},
      {"cloudFallback", true},
      {"humanVoice", true},
      {"humanVoices", Json::array({{{"id", 601000}, {"label", "知性女声"}}, {{"id", 7}, {"label", "B"}}})},
      {"humanDefault", 601000},
  };
  EXPECT_EQ(capabilities.pagePayload(), expected);
  EXPECT_TRUE(VoiceCapabilities{}.pagePayload()["missingUsageKeys"].is_array());
  EXPECT_TRUE(VoiceCapabilities{}.pagePayload()["humanVoices"].is_array());
}

TEST(VoicePayloadTest, PermissionsOnlyFromTheirExactNames) {
  for (auto permission : {VoicePermission::granted, VoicePermission::denied, VoicePermission::restricted,
                          VoicePermission::undetermined}) {
    EXPECT_EQ(voicePermissionFromString(toString(permission)), permission);
  }
  for (const char* name : {"Granted", "GRANTED", " granted", "", "authorized", "notDetermined"}) {
    EXPECT_EQ(voicePermissionFromString(name), std::nullopt) << name;
  }
}

TEST(VoicePayloadTest, RelayErrorSet) {
  for (const char* code : {"cloud-unconfigured", "notice-required", "busy", "daily-limit", "platform-limit",
                           "cloud-unavailable", "cloud-busy", "cloud-failed", "timeout", "bad-audio",
                           "bad-request"}) {
    EXPECT_TRUE(VoiceRelayProtocol::isRelayError(code)) << code;
  }
  for (const char* code : {"signed-out", "network", "no-speech", "", "Busy", "busy "}) {
    EXPECT_FALSE(VoiceRelayProtocol::isRelayError(code)) << code;
  }
}

}  // namespace
}  // namespace tovarin
