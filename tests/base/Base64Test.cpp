#include "base/Base64.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(Base64Test, KnownAnswersBothWays) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
      {std::string("\0\xFF\xFE", 3), "AP/+"},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(Base64::encode(bytes), text);
    EXPECT_EQ(Base64::decode(text), bytes) << text;
  }
}

TEST(Base64Test, MalformedTextDecodesToNothing) {
  for (const char* text : {"Zg", "Zg=", "Z===", "====", "Zm9v\n", " Zm9v", "Zm9-", "Zm_v", "Zg==Zg==", "Zh==",
                           "Zm9=", "Z=g="}) {
    EXPECT_EQ(Base64::decode(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace tovarin
