#pragma once

#include <map>
#include <string>

namespace tovarin {

// Lets one log line of each kind through per interval, so that a page posting
// thousands of messages cannot flood the log. Times are monotonic seconds. One owner's
// thread only.
class LogThrottle final {
 public:
  explicit LogThrottle(double intervalSeconds = 1.0) : interval_(intervalSeconds) {}

  // True when a line of this kind may be logged now.
  [[nodiscard]] bool allows(const std::string& kind, double now);

 private:
  static constexpr size_t kMaxKinds = 64;
  const double interval_;
  std::map<std::string, double> lastLogged_;
};

}  // namespace tovarin
