#include "main/activity_core/TitleSanitizer.h"

#include <gtest/gtest.h>

#include "base/Text.h"

namespace tovarin {
namespace {

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
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

}  // namespace
}  // namespace tovarin
