#pragma once

#include <functional>
#include <mutex>

#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "main/bridges/OcrResult.h"

namespace tovarin {

// One recognition run. Of the recogniser's result and the watchdog, the first to
// finish wins; the other is dropped. The completion always runs on the main loop.
// finish() may be called from any thread.
class OcrJob final {
 public:
  using Completion = std::function<void(OcrResult)>;
  OcrJob(MainLoop& loop, Completion completion) : loop_(loop), completion_(std::move(completion)) {}

  // Arms the watchdog, which finishes the job with `timeout` after `seconds`.
  static void startWatchdog(const std::shared_ptr<OcrJob>& job, double seconds);
  void finish(OcrResult result);

 private:
  MainLoop& loop_;
  std::mutex mutex_;
  bool finished_ = false;   // mutex_
  Completion completion_;   // mutex_ until finished, then taken
  TimerHandle watchdog_;    // mutex_
};

}  // namespace tovarin
