#include "base/IcuRegex.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(IcuRegexTest, DigitsAndWordBoundariesFollowUnicode) {
  IcuRegex digits("\\d+");
  EXPECT_TRUE(digits.matchesWhole("１２３"));   // full-width digits
  EXPECT_TRUE(digits.matchesWhole("٣٤"));       // Arabic-Indic digits
  EXPECT_FALSE(digits.matchesWhole("12a"));
  // Next to CJK text there is no word boundary between two letters of the script.
  IcuRegex word("\\bab\\b");
  EXPECT_EQ(word.replaceAll("中ab文 ab", "X"), "中ab文 X");
}

TEST(IcuRegexTest, ReplacementIsLiteral) {
  IcuRegex number("\\d+");
  EXPECT_EQ(number.replaceAll("a1b22", "$0\\"), "a$0\\b$0\\");
}

TEST(IcuRegexTest, InvalidPatternMatchesNothingAndKeepsText) {
  IcuRegex broken("(unclosed");
  EXPECT_FALSE(broken.valid());
  EXPECT_FALSE(broken.matchesWhole("(unclosed"));
  EXPECT_EQ(broken.replaceAll("(unclosed", "x"), std::nullopt);
}

}  // namespace
}  // namespace tovarin
