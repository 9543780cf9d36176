#include "main/windows/FrameGuard.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tokens/CssNumber.h"

namespace tovarin::FrameGuard {
namespace {

bool isFinite(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

Rect intersection(const Rect& a, const Rect& b) {
  const double x = std::max(a.x, b.x);
  const double y = std::max(a.y, b.y);
  const double maxX = std::min(a.maxX(), b.maxX());
  const double maxY = std::min(a.maxY(), b.maxY());
  if (maxX <= x || maxY <= y) return {};
  return {x, y, maxX - x, maxY - y};
}

// Reads "{{x, y}, {w, h}}" with any spaces around the parts.
class FrameReader {
 public:
  explicit FrameReader(std::string_view text) : text_(text) {}

  std::optional<Rect> read() {
    Rect r;
    if (!(symbol('{') && symbol('{') && number(r.x) && symbol(',') && number(r.y) && symbol('}') && symbol(',') &&
          symbol('{') && number(r.width) && symbol(',') && number(r.height) && symbol('}') && symbol('}'))) {
      return std::nullopt;
    }
    skipSpaces();
    if (position_ != text_.size()) return std::nullopt;
    return r;
  }

 private:
  void skipSpaces() {
    while (position_ < text_.size() && text_[position_] == ' ') ++position_;
  }
  bool symbol(char c) {
    skipSpaces();
    if (position_ >= text_.size() || text_[position_] != c) return false;
    ++position_;
    return true;
  }
  bool number(double& value) {
    skipSpaces();
    const char* begin = text_.data() + position_;
    const char* end = text_.data() + text_.size();
    auto [next, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (error != std::errc() || !std::isfinite(value)) return false;
    position_ += static_cast<size_t>(next - begin);
    return true;
  }

  std::string_view text_;
  size_t position_ = 0;
};

// The screen the window overlaps most; the primary one when it overlaps none.
const Screen* screenOf(const Rect& frame, const std::vector<Screen>& screens) {
  const Screen* best = nullptr;
  double bestArea = 0;
  for (const auto& screen : screens) {
    const Rect common = intersection(screen.frame, frame);
    const double area = common.width * common.height;
    if (area > bestArea) {
      bestArea = area;
      best = &screen;
    }
  }
  if (best) return best;
  return screens.empty() ? nullptr : &screens.front();
}

double clampedOrigin(double origin, double length, double areaOrigin, double areaLength) {
  return std::min(std::max(origin, areaOrigin), areaOrigin + areaLength - length);
}

}  // namespace

std::string frameString(const Rect& frame) {
  return "{{" + CssNumber::shortest(frame.x) + ", " + CssNumber::shortest(frame.y) + "}, {" +
         CssNumber::shortest(frame.width) + ", " + CssNumber::shortest(frame.height) + "}}";
}

Rect parseFrame(std::string_view text) { return FrameReader(text).read().value_or(Rect{}); }

bool isReachable(const Rect& frame, const std::vector<Screen>& screens) {
  if (!isFinite(frame)) return false;
  if (frame.width <= 1 || frame.height <= 1) return false;
  const double neededWidth = std::min(minimumVisibleWidth, frame.width);
  const double neededHeight = std::min(minimumVisibleHeight, frame.height);
  for (const auto& screen : screens) {
    const Rect visible = intersection(screen.visibleFrame, frame);
    if (visible.width <= 0 || visible.height <= 0) continue;
    if (visible.width >= neededWidth && visible.height >= neededHeight) return true;
  }
  return false;
}

bool restore(Window& window, const std::optional<std::string>& saved, const std::vector<Screen>& screens) {
  if (!saved) return false;
  const Rect frame = parseFrame(*saved);
  if (!isReachable(frame, screens)) return false;
  window.setFrame(frame);
  return true;
}

void nudgeOnScreen(Window& window, const std::vector<Screen>& screens) {
  Rect frame = window.frame();
  if (isReachable(frame, screens)) return;
  const Screen* screen = screenOf(frame, screens);
  if (!screen) return;
  const Rect& area = screen->visibleFrame;
  // A frame that is not a number anywhere cannot be moved by arithmetic: start it over
  // at the corner of the visible area with that area's size.
  if (!std::isfinite(frame.width)) frame.width = area.width;
  if (!std::isfinite(frame.height)) frame.height = area.height;
  if (!std::isfinite(frame.x)) frame.x = area.x;
  if (!std::isfinite(frame.y)) frame.y = area.y;
  Rect moved;
  moved.width = std::min(frame.width, area.width);
  moved.height = std::min(frame.height, area.height);
  moved.x = clampedOrigin(frame.x, moved.width, area.x, area.width);
  moved.y = clampedOrigin(frame.y, moved.height, area.y, area.height);
  window.setFrame(moved);
}

}  // namespace tovarin::FrameGuard
