#include "main/voice/VoiceSpeechSplit.h"

#include <gtest/gtest.h>

#include <random>

#include <unicode/unistr.h>

#include "base/IcuUtf8.h"
#include "base/Text.h"

namespace tovarin {
namespace {

const std::string kIdeograph = "字";

std::string ideographs(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += kIdeograph;
  return text;
}

size_t scalarCount(const std::string& utf8) { return static_cast<size_t>(toUnicode(utf8).countChar32()); }

std::vector<size_t> lengths(const std::vector<std::string>& pieces) {
  std::vector<size_t> sizes;
  for (const auto& piece : pieces) sizes.push_back(scalarCount(piece));
  return sizes;
}

TEST(VoiceSpeechSplitTest, BlankTextGivesNoPieces) {
  for (const char* text : {"", " ", "\t\n", "\u3000 \u00A0\n"}) {
    EXPECT_TRUE(VoiceSpeechSplit::split(text).empty()) << text;
  }
}

TEST(VoiceSpeechSplitTest, SpacesAndTabsCollapse) {
  EXPECT_EQ(VoiceSpeechSplit::split("  a  b\t\tc \n"), (std::vector<std::string>{"a b c"}));
  // Only spaces and tabs collapse; other white space inside stays.
  EXPECT_EQ(VoiceSpeechSplit::split("a\u3000\u3000b"), (std::vector<std::string>{"a\u3000\u3000b"}));
}

TEST(VoiceSpeechSplitTest, PieceLengthsAtBreaks) {
  struct Case {
    std::string text;
    size_t max;
    std::vector<size_t> lengths;
  };
  const Case cases[] = {
      {ideographs(120) + "。" + ideographs(79), 150, {121, 79}},
      {ideographs(320), 150, {150, 150, 20}},
      {ideographs(30) + "，" + ideographs(200), 150, {150, 81}},
      {ideographs(60) + "。" + ideographs(79) + "，" + ideographs(100), 150, {61, 80, 100}},
      // A stop at the floor (50) is not eligible; just above it is.
      {ideographs(50) + "。" + ideographs(200), 150, {150, 101}},
      {ideographs(51) + "。" + ideographs(200), 150, {52, 150, 50}},
      // A strong break anywhere in the window beats a weak one nearer the limit.
      {ideographs(70) + "！" + ideographs(70) + "，" + ideographs(50), 150, {71, 121}},
      // Exactly max fits in one piece.
      {ideographs(150), 150, {150}},
      {ideographs(151), 150, {150, 1}},
      {"ab", 1, {1, 1}},
      {"abc", 0, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lengths(VoiceSpeechSplit::split(c.text, c.max)), c.lengths) << scalarCount(c.text) << " max " << c.max;
  }
}

TEST(VoiceSpeechSplitTest, WindowForFourHundred) {
  // Positions 134 to 399 are eligible for the first piece with max 400.
  EXPECT_EQ(lengths(VoiceSpeechSplit::split(ideographs(133) + "。" + ideographs(400), 400)),
            (std::vector<size_t>{400, 134}));
  EXPECT_EQ(lengths(VoiceSpeechSplit::split(ideographs(134) + "。" + ideographs(400), 400)),
            (std::vector<size_t>{135, 400}));
  EXPECT_EQ(lengths(VoiceSpeechSplit::split(ideographs(399) + "。" + ideographs(400), 400)),
            (std::vector<size_t>{400, 400}));
}

TEST(VoiceSpeechSplitTest, WhiteSpaceAtCutsIsTrimmed) {
  auto pieces = VoiceSpeechSplit::split(ideographs(100) + "。\n   " + ideographs(100), 150);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], ideographs(100) + "。");  // cut after the line feed, which is trimmed
  EXPECT_EQ(pieces[1], ideographs(100));
}

// Random mixes of ideographs, ASCII, breaks and white space: every piece is non-empty,
// trimmed and within the limit, and the pieces joined give the text back but for
// white space.
TEST(VoiceSpeechSplitTest, RandomTextsLoseNothingButWhiteSpace) {
  const std::vector<std::string> alphabet = {"字", "語", "a", "Z", "7", "。", "！", "？", "；", "!", "?", ";",
                                             "\n", "，", "、", ",", "：", ":", " ", "\t", "\u3000", "\u00A0",
                                             "\u2028", "😀", "\r"};
  std::mt19937 random(20261210);
  auto noWhiteSpace = [](const std::string& text) {
    return text::filterScalars(text, [](char32_t c) { return !text::isWhitespace(c) && !text::isLineBreak(c); });
  };
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const size_t length = std::uniform_int_distribution<size_t>(0, 900)(random);
    for (size_t i = 0; i < length; ++i) {
      text += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
    }
    const size_t max = std::uniform_int_distribution<size_t>(1, 420)(random);
    const auto pieces = VoiceSpeechSplit::split(text, max);
    std::string joined;
    for (const auto& piece : pieces) {
      ASSERT_FALSE(piece.empty());
      ASSERT_LE(scalarCount(piece), max);
      ASSERT_EQ(piece, text::trimWhitespace(piece)) << "untrimmed piece";
      joined += piece;
    }
    ASSERT_EQ(noWhiteSpace(joined), noWhiteSpace(text)) << "round " << round << " max " << max;
  }
}

}  // namespace
}  // namespace tovarin
