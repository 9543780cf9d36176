#pragma once

#include "base/SerialQueue.h"

namespace tovarin {

// espeak-ng is one process-wide engine that is not thread-safe: every call into it runs
// on this one worker queue, which lives until exit.
class EspeakEngine final {
 public:
  static EspeakEngine& shared();
  SerialQueue& queue() { return queue_; }
  // Starts the engine on first use; its sample rate, or 0 when espeak-ng cannot start.
  // Worker only.
  int sampleRate();

 private:
  EspeakEngine() = default;
  SerialQueue queue_{"voice.espeak"};
  bool initialised_ = false;  // queue_ only
  int sampleRate_ = 0;        // queue_ only
};

}  // namespace tovarin
