#pragma once

namespace tovarin {

// What the application delegate needs of the presence reporter. Main loop only.
class AppPresence {
 public:
  virtual ~AppPresence() = default;
  virtual void start() = 0;
  virtual void stop() = 0;
};

}  // namespace tovarin
