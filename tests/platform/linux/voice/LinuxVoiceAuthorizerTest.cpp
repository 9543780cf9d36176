#include "platform/linux/LinuxVoiceAuthorizer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

TEST(LinuxVoiceAuthorizerTest, MissingUsageKeysFollowInfoJson) {
  const std::string mic = "NSMicrophoneUsageDescription";
  const std::string speech = "NSSpeechRecognitionUsageDescription";
  struct Case {
    std::optional<std::string> info;  // none: no Info.json at all
    std::vector<std::string> missing;
  };
  const Case cases[] = {
      {R"({"NSMicrophoneUsageDescription":"麦克风","NSSpeechRecognitionUsageDescription":"识别"})", {}},
      {R"({"NSMicrophoneUsageDescription":"","NSSpeechRecognitionUsageDescription":"识别"})", {mic}},
      {R"({"NSMicrophoneUsageDescription":"麦克风","NSSpeechRecognitionUsageDescription":true})", {speech}},
      {R"({"NSSpeechRecognitionUsageDescription":"识别"})", {mic}},
      {"{}", {mic, speech}},
      {"not json", {mic, speech}},
      {std::nullopt, {mic, speech}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (c.info) std::ofstream(dir.path() + "/Info.json") << *c.info;
    LinuxVoiceAuthorizer authorizer(Bundle(dir.path()), [] { return true; });
    EXPECT_EQ(authorizer.missingUsageKeys(), c.missing) << c.info.value_or("(none)");
  }
}

TEST(LinuxVoiceAuthorizerTest, TheShippedBundleDeclaresBothUsages) {
  LinuxVoiceAuthorizer authorizer(Bundle(std::string(TOVARIN_SOURCE_DIR) + "/resources/bundle"), {});
  EXPECT_TRUE(authorizer.missingUsageKeys().empty());
}

TEST(LinuxVoiceAuthorizerTest, PermissionsAreGrantedAndRequestsSucceed) {
  bool device = false;
  LinuxVoiceAuthorizer authorizer(Bundle(), [&] { return device; });
  EXPECT_EQ(authorizer.microphone(), VoicePermission::granted);
  EXPECT_EQ(authorizer.speech(), VoicePermission::granted);
  EXPECT_FALSE(authorizer.hasInputDevice());
  device = true;
  EXPECT_TRUE(authorizer.hasInputDevice());
  int answers = 0;
  authorizer.request([&](std::optional<std::string> code) {
    ++answers;
    EXPECT_EQ(code, std::nullopt);
  });
  authorizer.requestMicrophone([&](std::optional<std::string> code) {
    ++answers;
    EXPECT_EQ(code, std::nullopt);
  });
  EXPECT_EQ(answers, 2);
}

}  // namespace
}  // namespace tovarin
