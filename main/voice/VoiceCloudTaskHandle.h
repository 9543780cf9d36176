#pragma once

#include <atomic>

#include "main/voice/VoiceCloudCancellable.h"

namespace tovarin {

// The handle of one relay request. Cancelling marks it; the request's completion checks
// the mark on its queue and reports nothing once it is set.
class VoiceCloudTaskHandle final : public VoiceCloudCancellable {
 public:
  void cancel() override { cancelled_ = true; }
  bool isCancelled() const { return cancelled_; }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace tovarin
