#include "main/voice/SystemVoice.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(SystemVoiceTest, ChoiceByIdThenWholeTagThenPrimaryLanguage) {
  const std::vector<SystemVoice> voices = {
      {"gmw/en", "English", "en-gb", {"en"}, "default"},
      {"gmw/en-US", "English (America)", "en-us", {"en"}, "default"},
      {"sit/cmn", "Chinese (Mandarin)", "cmn", {"zh-cmn", "zh"}, "default"},
      {"sit/yue", "Chinese (Cantonese)", "yue", {"zh-yue", "zh"}, "default"},
  };
  struct Case {
    std::optional<std::string> id;
    std::string locale;
    std::optional<std::string> chosen;
  };
  const Case cases[] = {
      {std::nullopt, "zh-CN", "sit/cmn"},   // primary language "zh", first voice that speaks it
      {std::nullopt, "zh-yue", "sit/yue"},  // a whole tag wins over a primary language
      {std::nullopt, "en_US", "gmw/en-US"},
      {std::nullopt, "EN-US", "gmw/en-US"},
      {std::nullopt, "en-AU", "gmw/en"},
      {std::nullopt, "fr-FR", std::nullopt},
      {std::nullopt, "", std::nullopt},
      {"sit/yue", "en-US", "sit/yue"},
      {"missing", "en-US", "gmw/en-US"},
      {"Sit/Yue", "fr", std::nullopt},  // ids match exactly
  };
  for (const auto& c : cases) {
    auto chosen = SystemVoice::choose(voices, c.id, c.locale);
    EXPECT_EQ(chosen ? std::optional(chosen->id) : std::nullopt, c.chosen) << c.id.value_or("-") << " " << c.locale;
  }
}

}  // namespace
}  // namespace tovarin
