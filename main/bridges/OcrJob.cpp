#include "main/bridges/OcrJob.h"

#include <utility>

namespace tovarin {

void OcrJob::startWatchdog(const std::shared_ptr<OcrJob>& job, double seconds) {
  TimerHandle timer = job->loop_.postAfter(seconds, [job] { job->finish(OcrResult::failed(OcrFailure::timeout)); });
  std::lock_guard lock(job->mutex_);
  if (job->finished_) return;  // the timer handle goes away here and cancels itself
  job->watchdog_ = std::move(timer);
}

void OcrJob::finish(OcrResult result) {
  Completion completion;
  {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    completion = std::exchange(completion_, nullptr);
    watchdog_.cancel();
  }
  if (!completion) return;
  if (loop_.isMainThread()) {
    completion(std::move(result));
  } else {
    loop_.post([completion = std::move(completion), result = std::move(result)]() mutable { completion(std::move(result)); });
  }
}

}  // namespace tovarin
