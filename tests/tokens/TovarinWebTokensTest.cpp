#include "tokens/TovarinWebTokens.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace tovarin {
namespace {

std::string readTestData(const std::string& name) {
  std::ifstream in(std::string(TOVARIN_SOURCE_DIR) + "/tests/tokens/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stylesheet is read by pages as one text; a missing space or semicolon changes what
// every local page looks like, so it is compared whole.
TEST(TovarinWebTokensTest, StylesheetMatchesTheGoldenText) {
  const std::string golden = readTestData("stylesheet.golden.css");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(TovarinWebTokens::css(), golden);
}

TEST(TovarinWebTokensTest, FocusRingText) {
  EXPECT_EQ(TovarinWebTokens::focusRing,
            ":focus-visible{outline:2px solid var(--accent);outline-offset:2px;\n"
            "               box-shadow:0 0 0 3.5px var(--accent-soft);"
            "border-radius:var(--radius-sm)}");
}

}  // namespace
}  // namespace tovarin
