#pragma once

#include <mutex>
#include <vector>

#include "base/TaskRunner.h"
#include "main/changes/WidgetTimelines.h"

namespace tovarin {

// Records when each reload was asked for, on the clock of the given runner.
class FakeWidgetTimelines final : public WidgetTimelines {
 public:
  explicit FakeWidgetTimelines(const TaskRunner& clock) : clock_(clock) {}

  void reloadAllTimelines() override {
    std::lock_guard lock(mutex_);
    reloads_.push_back(clock_.now());
  }
  std::vector<double> reloads() const {
    std::lock_guard lock(mutex_);
    return reloads_;
  }

 private:
  const TaskRunner& clock_;
  mutable std::mutex mutex_;
  std::vector<double> reloads_;  // mutex_
};

}  // namespace tovarin
