#include "tests/support/FakeDesktop.h"

namespace tovarin {

FakeDesktop::FakeDesktop() : screens_{Screen{{0, 0, 1440, 900}, {0, 0, 1440, 875}}} {}

std::shared_ptr<Window> FakeDesktop::makeWindow(WindowStyle style, Size contentSize) {
  auto window = std::make_shared<FakeWindow>(style, contentSize, [this] { return screens_; });
  windows_.push_back(window);
  return window;
}

}  // namespace tovarin
