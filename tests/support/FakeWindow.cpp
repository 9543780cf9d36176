#include "tests/support/FakeWindow.h"

#include <cmath>

namespace tovarin {

FakeWindow::FakeWindow(WindowStyle style, Size contentSize, std::function<std::vector<Screen>()> screens)
    : style_(style),
      contentSize_(contentSize),
      screens_(std::move(screens)),
      frame_{0, 0, contentSize.width, contentSize.height} {}

void FakeWindow::setFrame(const Rect& frame) {
  ++setFrames_;
  applyFrame(frame);
}

void FakeWindow::center() {
  ++centers_;
  auto screens = screens_ ? screens_() : std::vector<Screen>{};
  if (screens.empty()) return;
  const Rect& area = screens.front().visibleFrame;
  applyFrame({std::floor(area.x + (area.width - frame_.width) / 2),
              std::floor(area.y + (area.height - frame_.height) / 2), frame_.width, frame_.height});
}

void FakeWindow::show() {
  ++shows_;
  visible_ = true;
}

void FakeWindow::orderFrontQuietly() {
  ++quietOrderFronts_;
  visible_ = true;
}

void FakeWindow::hide() {
  ++hides_;
  visible_ = false;
}

void FakeWindow::userMovesTo(const Rect& frame) { applyFrame(frame); }

bool FakeWindow::userCloses() {
  auto c = client();
  if (c && !c->windowShouldClose()) return !visible_;
  hide();
  return true;
}

void FakeWindow::screensChanged() {
  if (auto c = client()) c->windowScreensDidChange();
}

void FakeWindow::applyFrame(const Rect& frame) {
  frame_ = frame;
  if (auto c = client()) c->windowDidMoveOrResize(frame_);
}

}  // namespace tovarin
