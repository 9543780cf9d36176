#include "main/voice/VoiceCloudStatus.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(VoiceCloudStatusTest, DocumentsWithoutAnAsrObjectAreNoStatus) {
  for (const char* text : {"", "not json", "[]", "{}", "\"asr\"", R"({"tts":{"available":true},"speak":{}})",
                           R"({"asr":true})", R"({"asr":[]})", R"({"asr":null})"}) {
    EXPECT_EQ(VoiceCloudStatus::parse(text), std::nullopt) << text;
  }
}

TEST(VoiceCloudStatusTest, AvailabilityAndReason) {
  struct Case {
    const char* document;
    bool available;
    std::optional<std::string> reason;
  };
  const Case cases[] = {
      {R"({"asr":{}})", false, "cloud-unconfigured"},
      {R"({"asr":{"available":false}})", false, "cloud-unconfigured"},
      {R"({"asr":{"available":false,"reason":"signed-out"}})", false, "signed-out"},
      {R"({"asr":{"available":"true"}})", false, "cloud-unconfigured"},
      {R"({"asr":{"available":1}})", false, "cloud-unconfigured"},
      {R"({"asr":{"available":true}})", true, std::nullopt},
      {R"({"asr":{"available":true,"remainingSeconds":0}})", true, "daily-limit"},
      {R"({"asr":{"available":true,"remainingSeconds":-3.5}})", true, "daily-limit"},
      {R"({"asr":{"available":true,"remainingSeconds":12}})", true, std::nullopt},
      {R"({"asr":{"available":true,"remainingSeconds":"0"}})", true, std::nullopt},
      {R"({"asr":{"available":true,"remainingSeconds":0,"reason":"busy"}})", true, "busy"},
      {R"({"asr":{"available":false,"remainingSeconds":0}})", false, "cloud-unconfigured"},
      {R"({"asr":{"available":true,"reason":7}})", true, std::nullopt},
  };
  for (const auto& c : cases) {
    auto status = VoiceCloudStatus::parse(c.document);
    ASSERT_TRUE(status) << c.document;
    EXPECT_EQ(status->available, c.available) << c.document;
    EXPECT_EQ(status->reason, c.reason) << c.document;
  }
}

TEST(VoiceCloudStatusTest, ServicesAreOfferedOnlyWithoutAStringReason) {
  struct Case {
    const char* section;
    bool offered;
  };
  const Case cases[] = {
      {R"({"available":true})", true},
      {R"({"available":true,"reason":"x"})", false},
      {R"({"available":true,"reason":5})", true},
      {R"({"available":false})", false},
      {R"({"available":"yes"})", false},
      {R"("on")", false},
  };
  for (const auto& c : cases) {
    auto tts = VoiceCloudStatus::parse(std::string(R"({"asr":{},"tts":)") + c.section + "}");
    auto speak = VoiceCloudStatus::parse(std::string(R"({"asr":{},"speak":)") + c.section + "}");
    ASSERT_TRUE(tts && speak) << c.section;
    EXPECT_EQ(tts->ttsAvailable, c.offered) << c.section;
    EXPECT_FALSE(tts->speakAvailable) << c.section;
    EXPECT_EQ(speak->speakAvailable, c.offered) << c.section;
    EXPECT_FALSE(speak->ttsAvailable) << c.section;
  }
}

TEST(VoiceCloudStatusTest, NoticeVoicesAndDefault) {
  auto status = VoiceCloudStatus::parse(R"({
    "asr":{"available":true},
    "notice":{"accepted":true},
    "speak":{"available":true,"defaultVoice":7,"voices":[
      {"id":1,"label":"甲"},{"id":"7","label":"A"},{"id":2},{"id":2.5,"label":"B"},
      "x",{"id":3,"label":"乙","extra":true},{"id":true,"label":"C"}]}})");
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->noticeAccepted);
  EXPECT_EQ(status->speakVoices, (std::vector<HumanVoiceOption>{{1, "甲"}, {3, "乙"}}));
  EXPECT_EQ(status->speakDefault, 7);

  auto plain = VoiceCloudStatus::parse(R"({"asr":{"available":true},"notice":{"accepted":"yes"},
                                          "speak":{"voices":{"id":1,"label":"A"},"defaultVoice":"9"}})");
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->noticeAccepted);
  EXPECT_TRUE(plain->speakVoices.empty());
  EXPECT_EQ(plain->speakDefault, 601000);
}

TEST(VoiceCloudStatusTest, SignedOutAndUnconfiguredConstants) {
  for (const auto& [status, reason] : {std::pair{VoiceCloudStatus::signedOut, "signed-out"},
                                       std::pair{VoiceCloudStatus::unconfigured, "cloud-unconfigured"}}) {
    EXPECT_FALSE(status.available);
    EXPECT_EQ(status.reason, reason);
    EXPECT_FALSE(status.noticeAccepted || status.ttsAvailable || status.speakAvailable);
    EXPECT_TRUE(status.speakVoices.empty());
    EXPECT_EQ(status.speakDefault, 601000);
  }
}

}  // namespace
}  // namespace tovarin
