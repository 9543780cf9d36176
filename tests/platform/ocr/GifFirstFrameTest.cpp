#include "platform/ocr/GifFirstFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovarin {
namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}

Bytes header(uint16_t width, uint16_t height) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  // A global table of two colours.
  append(out, {width & 0xFF, width >> 8, height & 0xFF, height >> 8, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
  return out;
}

void appendFrame(Bytes& out, uint16_t width, uint16_t height, bool localColors = false) {
  append(out, {0x2C, 0, 0, 0, 0, width & 0xFF, width >> 8, height & 0xFF, height >> 8, localColors ? 0x80 : 0});
  if (localColors) append(out, {10, 20, 30, 40, 50, 60});
  // LZW minimum code size, two sub-blocks of data, the empty one.
  append(out, {2, 2, 0x44, 0x01, 1, 0x05, 0});
}

void appendComment(Bytes& out) { append(out, {0x21, 0xFE, 3, 'h', 'e', 'y', 0}); }

Bytes twoFrames() {
  Bytes out = header(640, 480);
  appendComment(out);
  appendFrame(out, 320, 200);
  appendComment(out);
  appendFrame(out, 60000, 60000, true);
  append(out, {0x3B});
  return out;
}

TEST(GifFirstFrameTest, ReadsTheScreenAndTheFirstFrameAndCutsAfterIt) {
  const Bytes bytes = twoFrames();
  const auto gif = GifFirstFrame::read(bytes);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->screenWidth, 640);
  EXPECT_EQ(gif->screenHeight, 480);
  EXPECT_EQ(gif->width, 320);
  EXPECT_EQ(gif->height, 200);

  Bytes expected = header(640, 480);
  appendComment(expected);
  appendFrame(expected, 320, 200);
  append(expected, {0x3B});
  EXPECT_EQ(gif->alone(bytes), expected);
}

TEST(GifFirstFrameTest, AFrameWithItsOwnColorsIsMeasuredPastThem) {
  Bytes bytes = header(8, 8);
  appendFrame(bytes, 4, 2, true);
  append(bytes, {0x3B});
  const auto gif = GifFirstFrame::read(bytes);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->width, 4);
  EXPECT_EQ(gif->height, 2);
  EXPECT_EQ(gif->alone(bytes), bytes);
}

TEST(GifFirstFrameTest, MalformedBlocksBeforeTheFirstFrameAreRefused) {
  const Bytes whole = twoFrames();
  const size_t frameStart = header(1, 1).size() + 7;  // after the first comment
  auto cut = [&](size_t size) { return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)); };
  Bytes stray = header(8, 8);
  append(stray, {0x00});
  Bytes trailerFirst = header(8, 8);
  append(trailerFirst, {0x3B});
  Bytes otherVersion = whole;
  otherVersion[4] = '8';
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"empty", {}},
      {"not a GIF", {'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"unknown version", otherVersion},
      {"cut inside the screen", cut(9)},
      {"cut inside the colour table", cut(15)},
      {"cut inside an extension", cut(frameStart - 2)},
      {"no frame at all", cut(frameStart)},
      {"cut inside the frame's descriptor", cut(frameStart + 6)},
      {"a byte that starts no block", stray},
      {"the trailer before any frame", trailerFirst},
  };
  for (const auto& [name, bytes] : cases) EXPECT_FALSE(GifFirstFrame::read(bytes)) << name;
}

TEST(GifFirstFrameTest, AFirstFrameCutShortHasItsSizeButNothingToDecode) {
  Bytes whole = header(8, 8);
  appendFrame(whole, 4, 2);
  for (size_t drop : {1, 2, 7}) {  // the empty sub-block, inside a sub-block, the code size on
    const Bytes bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(drop));
    const auto gif = GifFirstFrame::read(bytes);
    ASSERT_TRUE(gif) << drop;
    EXPECT_EQ(gif->width, 4) << drop;
    EXPECT_TRUE(gif->alone(bytes).empty()) << drop;
  }
}

}  // namespace
}  // namespace tovarin
