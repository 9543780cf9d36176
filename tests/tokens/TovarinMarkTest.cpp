#include "tokens/TovarinMark.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace tovarin {
namespace {

struct Point {
  double x, y;
};

// The vertices of each subpath of an SVG path made of M/m, L/l, H/h, V/v, A/a and Z/z,
// in absolute coordinates. Arcs contribute their end points.
class PathReader {
 public:
  explicit PathReader(std::string_view d) : d_(d) {}

  std::vector<std::vector<Point>> subpaths() {
    std::vector<std::vector<Point>> result;
    char command = 0;
    Point current{0, 0};
    Point start{0, 0};
    while (skipSeparators(), pos_ < d_.size()) {
      if (std::isalpha(static_cast<unsigned char>(d_[pos_]))) command = d_[pos_++];
      const bool relative = std::islower(static_cast<unsigned char>(command));
      const Point origin = relative ? current : Point{0, 0};
      switch (std::tolower(static_cast<unsigned char>(command))) {
        case 'm': {
          const double x = number(), y = number();
          current = {origin.x + x, origin.y + y};
          start = current;
          result.push_back({current});
          command = relative ? 'l' : 'L';  // further pairs are lines
          break;
        }
        case 'l': {
          const double x = number(), y = number();
          current = {origin.x + x, origin.y + y};
          result.back().push_back(current);
          break;
        }
        case 'h':
          current.x = origin.x + number();
          result.back().push_back(current);
          break;
        case 'v':
          current.y = origin.y + number();
          result.back().push_back(current);
          break;
        case 'a': {
          for (int i = 0; i < 5; ++i) number();  // radii, rotation, flags
          const double x = number(), y = number();
          current = {origin.x + x, origin.y + y};
          result.back().push_back(current);
          break;
        }
        case 'z':
          current = start;
          break;
        default:
          ADD_FAILURE() << "unexpected command " << command;
          return result;
      }
    }
    return result;
  }

 private:
  void skipSeparators() {
    while (pos_ < d_.size() && (d_[pos_] == ' ' || d_[pos_] == ',')) ++pos_;
  }

  double number() {
    skipSeparators();
    const std::string rest(d_.substr(pos_));
    char* end = nullptr;
    const double value = std::strtod(rest.c_str(), &end);
    EXPECT_NE(end, rest.c_str()) << "number expected at " << pos_;
    pos_ += static_cast<size_t>(end - rest.c_str());
    return value;
  }

  std::string_view d_;
  size_t pos_ = 0;
};

// Three bars, each a closed outline whose commands lead back to where it began (a
// mistyped number shows as a gap), inside the 64 x 64 canvas, stacked from top to bottom
// with the last one shorter.
TEST(TovarinMarkTest, PathIsThreeClosedBarsInsideTheCanvas) {
  const auto bars = PathReader(TovarinMark::path).subpaths();
  ASSERT_EQ(bars.size(), 3u);
  struct Box {
    double left, top, right, bottom;
  } expected[] = {{19, 8, 56, 22.8}, {8, 21, 56, 37.7}, {8, 39, 44, 53.9}};
  for (size_t i = 0; i < bars.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& bar = bars[i];
    ASSERT_GE(bar.size(), 4u);
    EXPECT_NEAR(bar.back().x, bar.front().x, 1e-9);
    EXPECT_NEAR(bar.back().y, bar.front().y, 1e-9);
    Box box{bar[0].x, bar[0].y, bar[0].x, bar[0].y};
    for (const Point& p : bar) {
      EXPECT_TRUE(p.x >= 0 && p.x <= TovarinMark::canvasSize && p.y >= 0 &&
                  p.y <= TovarinMark::canvasSize)
          << p.x << "," << p.y;
      box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
             std::max(box.bottom, p.y)};
    }
    EXPECT_NEAR(box.left, expected[i].left, 1e-9);
    EXPECT_NEAR(box.top, expected[i].top, 1e-9);
    EXPECT_NEAR(box.right, expected[i].right, 1e-9);
    EXPECT_NEAR(box.bottom, expected[i].bottom, 1e-9);
  }
}

TEST(TovarinMarkTest, SvgIsOneLineWithTheBrandFill) {
  EXPECT_EQ(
      TovarinMark::svg(18.9),
      "<svg class=\"mark\" width=\"18\" height=\"18\" viewBox=\"0 0 64 64\" role=\"img\" "
      "aria-label=\"The Tovarin｜岚笺\"><path fill=\"#c64532\" d=\"M23 8h30a3 3 0 0 1 3 3v3.2a4 4 0 "
      "0 1-3.4 3.9l-30 4.7a3 3 0 0 1-3.6-3v-6.9A4.9 4.9 0 0 1 23 8ZM11.4 27.2l40-6.2a4 4 0 0 1 4.6 "
      "4v2.6a4 4 0 0 1-3.4 3.9l-40 6.2A4 4 0 0 1 8 33.8v-2.6a4 4 0 0 1 3.4-4Zm0 16.2 28-4.4a4 4 0 0 1 "
      "4.6 4v2.6a4 4 0 0 1-3.4 3.9l-28 4.4A4 4 0 0 1 8 50v-2.6a4 4 0 0 1 3.4-4Z\"/></svg>");
}

TEST(TovarinMarkTest, SizeIsTruncatedToAnInteger) {
  struct Case {
    double size;
    const char* dimensions;
  } cases[] = {
      {28, "width=\"28\" height=\"28\""},
      {34.999, "width=\"34\" height=\"34\""},
      {0.7, "width=\"0\" height=\"0\""},
      {-2.5, "width=\"-2\" height=\"-2\""},
      {9.2e18, "width=\"9200000000000000000\" height=\"9200000000000000000\""},
  };
  for (const auto& c : cases) {
    EXPECT_NE(TovarinMark::svg(c.size).find(c.dimensions), std::string::npos) << c.size;
  }
}

TEST(TovarinMarkDeathTest, SizeThatIsNotAnIntegerAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (double size : {std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                      9223372036854775808.0, -1e19}) {
    EXPECT_DEATH((void)TovarinMark::svg(size), "not a drawable size") << size;
  }
}

}  // namespace
}  // namespace tovarin
