#include "main/activity_core/TitleSanitizer.h"

#include <random>

#include <gtest/gtest.h>

#include "base/IcuRegex.h"
#include "base/Text.h"

namespace tovarin {
namespace {

std::string repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

TEST(TitleSanitizerTest, CleansInvisiblesWhitespaceAndMasksSecrets) {
  struct Case {
    const char* raw;
    const char* clean;
  } cases[] = {
      {"  wo\u200Brd\r\nnext  ", "word next"},
      {"a\tb\u00A0\u3000c", "a b c"},
      {"\u202Eevil\u2066", "evil"},
      {"\u200B \r ", ""},
      {"call 138 1234 5678 now", "call [数字] now"},
      {"138-1234-5678", "[数字]"},
      {"138.1234·5678‧9999", "[数字]"},
      {"(555) 123-4567", "[数字]"},
      {"order 1234567", "order [数字]"},
      {"code 12345", "code 12345"},
      {"１２３４５６７", "[数字]"},
      {"1\u03032\u03033\u03034\u03035\u03036\u0303", "[数字]"},
      {"mail a.b@example.com here", "mail [邮箱] here"},
      {"mail a.b ＠ example.com", "mail [邮箱]"},
      {"a@b", "a@b"},
      {"Invalid \xff byte", "Invalid \uFFFD byte"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TitleSanitizer::clean(std::string(c.raw)), c.clean) << c.raw;
  }
  EXPECT_EQ(TitleSanitizer::clean(std::nullopt), "");
}

TEST(TitleSanitizerTest, HoldsTitlesToCharactersAndUtf16Units) {
  struct Case {
    std::string raw;
    std::string clean;
  } cases[] = {
      {repeat("a", 300), repeat("a", 200)},
      {repeat("中", 250), repeat("中", 200)},
      {repeat("😀", 200), repeat("😀", 200)},     // 400 units: whole
      {repeat("🇨🇳", 200), repeat("🇨🇳", 100)},    // 800 units: down to 400
      {repeat("e\u0301", 201), repeat("e\u0301", 200)},
  };
  for (const auto& c : cases) {
    std::string clean = TitleSanitizer::clean(c.raw);
    EXPECT_EQ(clean, c.clean) << text::graphemeCount(clean);
  }
}

TEST(TitleSanitizerTest, GuardedEmailPatternMasksExactlyWhatThePlainOneDoes) {
  IcuRegex plain("[A-Za-z0-9._%+-]+\\s*[@＠]\\s*[A-Za-z0-9.-]+\\.[A-Za-z]{2,}");
  IcuRegex guarded(TitleSanitizer::emailPattern);
  ASSERT_TRUE(plain.valid());
  ASSERT_TRUE(guarded.valid());
  // Fragments that often form addresses back to back, with characters around them.
  const std::vector<std::string> alphabet{"a", "b1", ".", ".ab", "-", "%", "@", "＠", " ", "中", "_", "@b.ab"};
  std::mt19937 random(20250301);
  for (int round = 0; round < 50000; ++round) {
    std::string title;
    int length = static_cast<int>(random() % 10);
    for (int i = 0; i < length; ++i) title += alphabet[random() % alphabet.size()];
    ASSERT_EQ(guarded.replaceAll(title, "#"), plain.replaceAll(title, "#")) << title;
  }
}

TEST(TitleSanitizerTest, DigitRunsTooLongForTheDefaultMatcherStackAreStillMasked) {
  struct Case {
    const char* what;
    std::string title;
    std::string clean;
  } cases[] = {
      {"plain digits", std::string(1000000, '7'), "[数字]"},
      {"digits with combining marks", repeat("1\u0301", 300000), "[数字]"},
      {"grouped digits", "卡号 " + repeat("1234 ", 150000) + "1234", "卡号 [数字]"},
  };
  for (const auto& c : cases) {
    const std::string clean = TitleSanitizer::clean(c.title);
    EXPECT_EQ(clean.find_first_of("0123456789"), std::string::npos) << c.what << ": digits left unmasked";
    EXPECT_EQ(clean, c.clean) << c.what;
  }
}

TEST(TitleSanitizerTest, HugeTitlesAreCleanedInLinearTime) {
  // Half a million address characters without an at sign: a pattern that tried every
  // start would need hours here, and the test would time out.
  std::string huge(500000, 'a');
  EXPECT_EQ(TitleSanitizer::clean(huge), std::string(200, 'a'));
  EXPECT_EQ(TitleSanitizer::clean(repeat("a.b@", 100000)), repeat("a.b@", 50));
  EXPECT_EQ(TitleSanitizer::clean(repeat("123.", 100000)), "[数字].");
}

}  // namespace
}  // namespace tovarin
