#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tovarin {

// Records every log line for its own lifetime: installs the log observer when built and
// removes it when destroyed. Lines arrive from any thread; queries may run on any thread.
// As a fixture member it belongs last, so that it goes first and nothing the fixture
// tears down logs into a recorder already gone.
class LogRecorder final {
 public:
  LogRecorder();
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;

  // Whole lines, prefix included ("[orvik] ..."), in the order they were logged.
  std::vector<std::string> lines() const;
  bool contains(const std::string& line) const;
  size_t count(const std::string& line) const;
  // The lines that start with prefix.
  std::vector<std::string> matching(const std::string& prefix) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;  // mutex_
};

}  // namespace tovarin
