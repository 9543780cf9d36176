#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/BrowserAutomation.h"

namespace tovarin {

// Browser scripting that answers what the test set, recording each question.
class FakeBrowserAutomation final : public BrowserAutomation {
 public:
  bool isAvailable = true;
  std::int32_t status = allowed;

  bool available() const override { return isAvailable; }
  std::int32_t automationStatus(const std::string& scriptId, bool ask) override {
    std::lock_guard lock(mutex_);
    statusQuestions_.push_back({scriptId, ask});
    return status;
  }
  std::optional<std::string> runScript(const std::string& source, double timeoutSeconds) override {
    std::lock_guard lock(mutex_);
    scripts_.push_back(source);
    timeouts_.push_back(timeoutSeconds);
    return output_;
  }

  void setOutput(std::optional<std::string> output) {
    std::lock_guard lock(mutex_);
    output_ = std::move(output);
  }
  std::vector<std::string> scripts() const {
    std::lock_guard lock(mutex_);
    return scripts_;
  }
  std::vector<double> timeouts() const {
    std::lock_guard lock(mutex_);
    return timeouts_;
  }
  std::vector<std::pair<std::string, bool>> statusQuestions() const {
    std::lock_guard lock(mutex_);
    return statusQuestions_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> output_;                              // mutex_
  std::vector<std::string> scripts_;                               // mutex_
  std::vector<double> timeouts_;                                   // mutex_
  std::vector<std::pair<std::string, bool>> statusQuestions_;      // mutex_
};

}  // namespace tovarin
