#pragma once

#include <string>

namespace tovarin {

// A notification the page asked for at a given time.
struct Reminder {
  std::string id;
  std::string title;
  std::string body;
  double fireAt = 0;  // seconds since 1970

  bool operator==(const Reminder&) const = default;
};

}  // namespace tovarin
