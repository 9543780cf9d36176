#include "base/Text.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(TextTest, CharactersAreGraphemeClusters) {
  struct Case {
    std::string text;
    std::size_t graphemes;
    std::size_t utf16;
  } cases[] = {
      {"", 0, 0},
      {"abc", 3, 3},
      {"中文", 2, 2},
      {"😀", 1, 2},
      {"🇨🇳", 1, 4},                 // a flag: two regional indicators
      {"e\xCC\x81", 1, 2},            // e + combining acute
      {"👩‍👩‍👧", 1, 8},        // a family joined by ZWJ
      {"\r\n", 1, 2},
      {"a\xff" "b", 3, 3},            // invalid byte read as U+FFFD
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text::graphemeCount(c.text), c.graphemes) << c.text;
    EXPECT_EQ(text::utf16Length(c.text), c.utf16) << c.text;
  }
}

TEST(TextTest, PrefixAndDropNeverSplitACharacter) {
  EXPECT_EQ(text::graphemePrefix("🇨🇳🇫🇷ab", 1), "🇨🇳");
  EXPECT_EQ(text::graphemePrefix("e\xCC\x81x", 1), "e\xCC\x81");
  EXPECT_EQ(text::graphemePrefix("ab", 5), "ab");
  // Flags are four units, the family eight.
  EXPECT_EQ(text::graphemePrefixWithinUtf16("ab🇨🇳", 5), "ab");
  EXPECT_EQ(text::graphemePrefixWithinUtf16("ab🇨🇳", 6), "ab🇨🇳");
  EXPECT_EQ(text::graphemePrefixWithinUtf16("a👩‍👩‍👧", 8), "a");
  EXPECT_EQ(text::graphemePrefixWithinUtf16("e\xCC\x81x", 1), "");
  EXPECT_EQ(text::graphemePrefixWithinUtf16("", 0), "");
}

TEST(TextTest, WhitespaceIsUnicodes) {
  EXPECT_EQ(text::collapseWhitespace("  a\u00A0\u3000b\n\nc\t "), "a b c");
  EXPECT_EQ(text::collapseWhitespace(" \u2028 "), "");
  // Trimming blanks keeps line breaks, which are not blanks.
  EXPECT_EQ(text::trimBlanks("\u3000\t x y \u00A0"), "x y");
  EXPECT_EQ(text::trimBlanks("\nx\n"), "\nx\n");
  EXPECT_EQ(text::trimWhitespace("\u2028\r\n\u3000 x\ny\u00A0\u0085\v"), "x\ny");
  EXPECT_EQ(text::trimWhitespace(" \n "), "");
}

TEST(TextTest, LowerCasingIgnoresTheLocaleAndOrderFollowsScalars) {
  EXPECT_EQ(text::lowercased("ÀBC İ"), "àbc i\xCC\x87");
  EXPECT_EQ(text::lowercased("ΣΑΣ"), "σας");
  // Canonically equivalent spellings are equal; order is by scalar value, so "Z"
  // (U+005A) sorts before "a" and "é" after "z".
  EXPECT_EQ(text::compareScalars("e\xCC\x81", "\xC3\xA9"), 0);
  EXPECT_LT(text::compareScalars("Z", "a"), 0);
  EXPECT_GT(text::compareScalars("\xC3\xA9", "z"), 0);
}

// ASCII text takes a path of its own past ICU: it must answer as ICU does.
TEST(TextTest, AsciiTextFoldsMeasuresAndOrdersAsAnyOther) {
  std::string all;
  for (int c = 0; c < 0x80; ++c) all.push_back(static_cast<char>(c));
  std::string lower = all;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  EXPECT_EQ(text::lowercased(all), lower);
  EXPECT_EQ(text::nfc(all), all);
  EXPECT_EQ(text::utf16Length(all), 128u);
  EXPECT_EQ(text::utf16Length("a\xF0\x9F\x98\x80"), 3u);
  EXPECT_EQ(text::lowercased("I\xC3\x89"), "i\xC3\xA9");
  EXPECT_LT(text::compareScalars("Z", "a"), 0);
  EXPECT_LT(text::compareScalars("ab", "abc"), 0);
  EXPECT_EQ(text::compareScalars(std::string("a\0b", 3), std::string("a\0b", 3)), 0);
  EXPECT_GT(text::compareScalars(std::string("a\0c", 3), std::string("a\0b", 3)), 0);
  EXPECT_LT(text::compareScalars("\x7F", "\xC2\x80"), 0);
}

TEST(TextTest, FilterScalarsDropsControlsAndFormats) {
  auto keep = [](char32_t c) { return !text::isControlOrFormat(c); };
  EXPECT_EQ(text::filterScalars("a\u200Bb\rc\u0007d\u00ADe", keep), "abcde");
  EXPECT_TRUE(text::isControlOrFormat(U'\u202E'));
  EXPECT_FALSE(text::isControlOrFormat(U'中'));
}

struct Utf8Case {
  std::string_view name;
  std::string_view bytes;
  bool valid;
};

// Each boundary of the encoding on both sides: the last overlong form against the first
// real one, the surrogates' edges, U+10FFFF against the first scalar past it.
TEST(TextTest, ValidUtf8IsTheShortestFormOfAScalar) {
  using namespace std::string_view_literals;
  const Utf8Case cases[] = {
      {"empty", ""sv, true},
      {"ascii with NUL", "a\0b"sv, true},
      {"two bytes", "\xC3\xA9"sv, true},
      {"three bytes", "\xE4\xB8\xAD"sv, true},
      {"four bytes", "\xF0\x9F\x98\x80"sv, true},
      {"U+FFFF", "\xEF\xBF\xBF"sv, true},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF"sv, true},
      {"U+D7FF before the surrogates", "\xED\x9F\xBF"sv, true},
      {"U+E000 after the surrogates", "\xEE\x80\x80"sv, true},
      {"lone continuation", "\x80"sv, false},
      {"0xFF", "a\xFF"sv, false},
      {"overlong slash in two", "\xC0\xAF"sv, false},
      {"overlong U+007F in two", "\xC1\xBF"sv, false},
      {"first real two", "\xC2\x80"sv, true},
      {"overlong U+07FF in three", "\xE0\x9F\xBF"sv, false},
      {"first real three", "\xE0\xA0\x80"sv, true},
      {"overlong U+FFFF in four", "\xF0\x8F\xBF\xBF"sv, false},
      {"first real four", "\xF0\x90\x80\x80"sv, true},
      {"high surrogate", "\xED\xA0\x80"sv, false},
      {"low surrogate", "\xED\xBF\xBF"sv, false},
      {"surrogate pair encoded apart", "\xED\xA0\xBD\xED\xB8\x80"sv, false},
      {"U+110000", "\xF4\x90\x80\x80"sv, false},
      {"lead 0xF5", "\xF5\x80\x80\x80"sv, false},
      {"two cut at the end", "ab\xC3"sv, false},
      {"three cut at the end", "\xE4\xB8"sv, false},
      {"four cut at the end", "\xF0\x9F\x98"sv, false},
      {"cut before ascii", "\xE4\xB8" "a"sv, false},
      {"cut before a lead", "\xC3\xC3\xA9"sv, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text::isValidUtf8(c.bytes), c.valid) << c.name;
  }
}

// Protocol words fold A-Z only: other bytes, UTF-8 ones included, pass through whole.
TEST(TextTest, AsciiLowerCasingTouchesOnlyCapitalLetters) {
  std::string all;
  for (int c = 0; c < 0x100; ++c) all.push_back(static_cast<char>(c));
  const std::string lower = text::asciiLowercased(all);
  ASSERT_EQ(lower.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    const bool capital = i >= 'A' && i <= 'Z';
    EXPECT_EQ(std::size_t{static_cast<unsigned char>(lower[i])}, capital ? i + ('a' - 'A') : i) << "byte " << i;
  }
  EXPECT_EQ(text::asciiLowercased("HTTPS"), "https");
  EXPECT_EQ(text::asciiLowercased("\xC3\x89TAT.PNG"), "\xC3\x89tat.png");
}

}  // namespace
}  // namespace tovarin
