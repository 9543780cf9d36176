#include "main/activity_core/ActivityIntervalReader.h"

#include <limits>

#include <gtest/gtest.h>

#include "tests/support/ActivityQueryReference.h"
#include "tests/support/ActivitySampleRecord.h"

namespace tovarin {
namespace {

// What the store writes is read directly, and as the general parser reads it.
TEST(ActivityIntervalReaderTest, WrittenIntervalsAreReadDirectlyAndAlike) {
  std::vector<ActivityInterval> intervals = activitySampleRecord();
  std::string controls;
  for (char c = 0; c < 0x20; ++c) controls.push_back(c);
  controls += "\x7f/\\\"";
  intervals.push_back({"\xE5\xB2\x9A-1", "b", "\xF0\x9F\x98\x80", controls, std::string("\xE4\xBE\x8B.jp"), -1.25, 0});
  for (double number : {-0.0, 1e20, 123456789.123456789, 1.7976931348623157e308, -1774220400.0, 0.1}) {
    intervals.push_back({"n", "b", "a", "t", std::nullopt, number, number});
  }
  for (const ActivityInterval& interval : intervals) {
    const std::string text = toJsonText(interval.toJson());
    const auto direct = ActivityIntervalReader::readWritten(text);
    ASSERT_TRUE(direct) << text;
    EXPECT_EQ(direct, interval) << text;
    EXPECT_EQ(std::signbit(direct->start), std::signbit(interval.start)) << text;
    EXPECT_EQ(ActivityIntervalReader::read(text), ActivityQueryReference::decode(text)) << text;
  }
}

// Text of another shape, or no JSON at all, gets the general parser's answer: the
// same interval, or none.
TEST(ActivityIntervalReaderTest, OtherTextIsAnsweredAsTheGeneralParserDoes) {
  const std::string head = R"({"appName":"A","bundleId":"b",)";
  const std::string tail = R"("id":"i","start":1,"title":"t"})";
  auto withEnd = [&](const std::string& end) { return head + R"("end":)" + end + "," + tail; };
  auto withTitle = [&](const std::string& title) {
    return R"({"appName":"A","bundleId":"b","end":2,"id":"i","start":1,"title":")" + title + R"("})";
  };
  std::string deep = R"({"x":)" + std::string(100, '[') + std::string(100, ']') + "," + head.substr(1) +
                     R"("end":2,)" + tail;
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {withEnd("2"), true},
      {R"({ "appName" : "A", "bundleId":"b", "end":2, "id":"i", "start":1, "title":"t" } )", true},
      {R"({"title":"t","start":1,"id":"i","end":2,"bundleId":"b","appName":"A"})", true},
      {head + R"("domain":null,"end":2,)" + tail, true},
      {head + R"("domain":"","end":2,)" + tail, true},
      {head + R"("domain":7,"end":2,)" + tail, false},
      {head + R"("x":{"y":[1,2]},"end":2,)" + tail, true},
      {head + R"("end":2,"title":"first",)" + tail, true},
      {head + R"("end":2,"end":3,)" + tail, true},
      {withTitle(R"(\ud83d\ude00 \u00e9\u4e2d\u0000\/)"), true},
      {withTitle(R"(\ud83d)"), false},
      {withTitle(R"(\ude00\ud83d)"), false},
      {withTitle(R"(\x41)"), false},
      {withTitle(R"(\u12)"), false},
      {withTitle("\x01"), false},
      {withTitle("\xC0\x80"), false},
      {withTitle("\xED\xA0\x80"), false},
      {withTitle("\xF4\x90\x80\x80"), false},
      {withTitle("\xF5\x80\x80\x80"), false},
      {withTitle("\xE2\x82"), false},
      {withTitle("\x80"), false},
      {withTitle("\xEF\xBF\xBD\xF4\x8F\xBF\xBF"), true},
      {withEnd("-0"), true},
      {withEnd("1E2"), true},
      {withEnd("2.5e-3"), true},
      {withEnd("1e400"), false},
      {withEnd("1e-400"), true},
      {withEnd("01"), false},
      {withEnd("1."), false},
      {withEnd(".5"), false},
      {withEnd("+1"), false},
      {withEnd("-"), false},
      {withEnd("18446744073709551616"), true},
      {withEnd("-9223372036854775809"), true},
      {withEnd("9007199254740993"), true},
      {withEnd("\"2\""), false},
      {withEnd("true"), false},
      {head + tail, false},
      {R"({"appName":"A","bundleId":"b","end":2,"id":"i","start":1,"title":5})", false},
      {withEnd("2") + "x", false},
      {withEnd("2") + "}", false},
      {withEnd("2").substr(0, 20), false},
      {deep, false},
      {"", false},
      {"{}", false},
      {"[]", false},
      {"null", false},
  };
  for (const Case& c : cases) {
    const auto read = ActivityIntervalReader::read(c.text);
    EXPECT_EQ(read, ActivityQueryReference::decode(c.text)) << c.text;
    EXPECT_EQ(read.has_value(), c.valid) << c.text;
    if (read) {
      EXPECT_EQ(std::signbit(read->end), std::signbit(ActivityQueryReference::decode(c.text)->end)) << c.text;
    }
  }
}

}  // namespace
}  // namespace tovarin
