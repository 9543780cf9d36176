#include "base/Json.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(JsonTest, IntegersAreExactWholeNumbersAndNeverBooleans) {
  struct Case {
    const char* text;
    std::optional<int64_t> expected;
  } cases[] = {
      {"3", 3},
      {"-3", -3},
      {"3.0", 3},
      {"3.5", std::nullopt},
      {"1e3", 1000},
      {"true", std::nullopt},
      {"\"3\"", std::nullopt},
      {"null", std::nullopt},
      {"9223372036854775807", INT64_MAX},
      {"18446744073709551615", std::nullopt},
      {"9.3e18", std::nullopt},
  };
  for (const auto& c : cases) {
    auto parsed = parseJson(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(jsonInteger(*parsed), c.expected) << c.text;
  }
}

TEST(JsonTest, BooleansAreOnlyTrueAndFalse) {
  auto object = parseJson(R"({"a":true,"b":1,"c":"true","d":false})");
  ASSERT_TRUE(object);
  EXPECT_EQ(jsonBool(*object, "a"), true);
  EXPECT_EQ(jsonBool(*object, "b"), std::nullopt);
  EXPECT_EQ(jsonBool(*object, "c"), std::nullopt);
  EXPECT_EQ(jsonBool(*object, "d"), false);
  EXPECT_EQ(jsonBool(*object, "missing"), std::nullopt);
}

TEST(JsonTest, OptionalStringsAreAbsentNullOrAString) {
  struct Case {
    const char* object;
    bool accepted;
    std::optional<std::string> value;
  } cases[] = {
      {R"({})", true, std::nullopt},
      {R"({"d":null})", true, std::nullopt},
      {R"({"d":"x.example"})", true, "x.example"},
      {R"({"d":""})", true, ""},
      {R"({"d":7})", false, std::nullopt},
      {R"({"d":["x"]})", false, std::nullopt},
  };
  for (const auto& c : cases) {
    std::optional<std::string> field = "stale";
    EXPECT_EQ(readOptionalString(Json::parse(c.object), "d", field), c.accepted) << c.object;
    if (c.accepted) {
      EXPECT_EQ(field, c.value) << c.object;
    }
  }
}

TEST(JsonTest, MalformedTextIsRefusedWithoutThrowing) {
  for (const char* text : {"", "{", "{\"a\":}", "[1,]", "nul", "\xff"}) {
    EXPECT_FALSE(parseJson(text)) << text;
  }
}

TEST(JsonTest, TextAfterTheValueIsRefusedNulBytesIncluded) {
  using namespace std::string_literals;
  for (const std::string& text : {"{\"v\":1} {{{"s, "{\"v\":1}\0 {{{ garbage"s, "{\"v\":1}\0"s, "1\0"s,
                                  "\"a\0b\""s, "{\"v\":1}x"s, "[1] [2]"s}) {
    EXPECT_FALSE(parseJson(text)) << testing::PrintToString(text);
  }
  EXPECT_TRUE(parseJson(" {\"v\":1} \n"));
}

std::string nested(int depth, const std::string& open = "[", const std::string& close = "]") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JsonTest, NestingDeeperThanTheLimitIsRefused) {
  struct Case {
    std::string name;
    std::string text;
    bool accepted;
  };
  const Case cases[] = {
      {"arrays at the limit", nested(kMaxJsonDepth), true},
      {"arrays one past it", nested(kMaxJsonDepth + 1), false},
      {"objects one past it", "{\"a\":" + nested(kMaxJsonDepth, "[") + "}", false},
      {"brackets inside a string do not count", "{\"a\":\"" + std::string(1000, '[') + "\"}", true},
      {"an escaped quote keeps the string open", R"({"a":"\"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})", true},
      {"far past the limit, as a crafted file would be", nested(200000, "{\"a\":", "}"), false},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(parseJson(testCase.text).has_value(), testCase.accepted);
  }
}

TEST(JsonTest, SerialisingInvalidUtf8DoesNotThrow) {
  Json value = std::string("ok\xff");
  EXPECT_NO_THROW(toJsonText(value));
}

}  // namespace
}  // namespace tovarin
