#include "main/windows/FrameAutosave.h"

#include <cassert>
#include <utility>

#include "main/windows/FrameGuard.h"

namespace tovarin {

FrameAutosave::FrameAutosave(TaskRunner& loop, UserDefaults& defaults, std::string key, std::string saved)
    : loop_(loop), defaults_(defaults), key_(std::move(key)), saved_(std::move(saved)) {}

FrameAutosave::~FrameAutosave() { flush(); }

void FrameAutosave::note(const Rect& frame) {
  assert(loop_.isCurrent());
  std::string text = FrameGuard::frameString(frame);
  if (text == saved_) {
    pending_.reset();
    return;
  }
  pending_ = std::move(text);
  // The timer is the handle's own: it cannot outlive this object.
  if (!timer_.isArmed()) timer_ = loop_.postAfter(interval, [this] { flush(); });
}

void FrameAutosave::flush() {
  timer_.cancel();
  if (!pending_) return;
  defaults_.setString(key_, *pending_);
  saved_ = std::move(*pending_);
  pending_.reset();
}

}  // namespace tovarin
