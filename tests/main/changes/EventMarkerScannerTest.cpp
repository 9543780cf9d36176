#include "main/changes/EventMarkerScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovarin {
namespace {

struct Case {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<bool> found;  // one per chunk
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class EventMarkerScannerCases : public testing::TestWithParam<Case> {};

TEST_P(EventMarkerScannerCases, FindsEachMarkerInTheChunkThatCompletesIt) {
  const Case& c = GetParam();
  ASSERT_EQ(c.chunks.size(), c.found.size());
  EventMarkerScanner scanner;
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    EXPECT_EQ(scanner.feed(c.chunks[i]), c.found[i]) << c.name << ", chunk " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EventMarkerScannerCases,
    testing::Values(
        Case{"one event", {"event: change\ndata: {}\n\n"}, {true}},
        Case{"comment only", {": keep-alive\n\n"}, {false}},
        Case{"data without an event line", {"data: {\"x\":1}\n\n"}, {false}},
        Case{"several events in one chunk count once", {"event: a\n\nevent: b\n\n"}, {true}},
        Case{"marker split after 'ev'", {": hi\n\nev", "ent: change\n\n"}, {false, true}},
        Case{"marker split before the colon", {"event", ": change\n\n"}, {false, true}},
        Case{"marker spread over one-byte chunks", {"e", "v", "e", "n", "t", ":"}, {false, false, false, false, false, true}},
        Case{"chunk ends inside a multi-byte character",
             {"data: \"\xE5\x8F", "\x98\xE5\x8C\x96\"\nevent: change\n\n"},
             {false, true}},
        Case{"invalid UTF-8 around the marker", {"\xFF\xFE" "event:\xC3"}, {true}},
        Case{"a completed marker is not counted again", {"event: a\n", "data: 1\n\n"}, {true, false}},
        Case{"marker right at the end of a long chunk", {std::string(20000, 'x') + "event:"}, {true}},
        Case{"near miss across chunks", {"even", "t change"}, {false, false}},
        Case{"empty chunk keeps the carried bytes", {"eve", "", "nt:"}, {false, false, true}}),
    [](const testing::TestParamInfo<Case>& info) { return "Case" + std::to_string(info.index); });

TEST(EventMarkerScannerTest, ResetForgetsTheOldStreamsTail) {
  EventMarkerScanner scanner;
  EXPECT_FALSE(scanner.feed("data: x\n\nevent"));
  scanner.reset();
  EXPECT_FALSE(scanner.feed(": change\n\n"));
}

}  // namespace
}  // namespace tovarin
