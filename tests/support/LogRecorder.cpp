#include "tests/support/LogRecorder.h"

#include <algorithm>
#include <string_view>

#include "base/Log.h"

namespace tovarin {

LogRecorder::LogRecorder() {
  setLogObserverForTesting([this](std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  });
}

LogRecorder::~LogRecorder() { setLogObserverForTesting(nullptr); }

std::vector<std::string> LogRecorder::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool LogRecorder::contains(const std::string& line) const { return count(line) > 0; }

size_t LogRecorder::count(const std::string& line) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line));
}

std::vector<std::string> LogRecorder::matching(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> found;
  for (const auto& line : lines_) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

}  // namespace tovarin
