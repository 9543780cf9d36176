#include "platform/linux/EspeakVoiceCatalog.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(EspeakVoiceCatalogTest, ListsTheInstalledVoicesAndChinesePicksMandarin) {
  EspeakVoiceCatalog catalog;
  const auto voices = catalog.voices();
  ASSERT_FALSE(voices.empty());
  for (const auto& voice : voices) {
    EXPECT_FALSE(voice.id.empty());
    EXPECT_FALSE(voice.language.empty()) << voice.id;
  }
  const auto chinese = SystemVoice::choose(voices, std::nullopt, "zh-CN");
  ASSERT_TRUE(chinese);
  EXPECT_EQ(chinese->language, "cmn");
  const auto english = SystemVoice::choose(voices, std::nullopt, "en-US");
  ASSERT_TRUE(english);
  EXPECT_EQ(english->language, "en-us");
  // An id from the list is taken as it is, whatever the locale says.
  EXPECT_EQ(SystemVoice::choose(voices, english->id, "zh-CN"), english);
}

}  // namespace
}  // namespace tovarin
