#pragma once

#include <functional>

namespace tovarin {

// What the application delegate needs of the server's change stream watcher.
// Called on the main loop; the change callback arrives there.
class AppChangeWatcher {
 public:
  virtual ~AppChangeWatcher() = default;
  virtual void start() = 0;
  virtual void stop() = 0;
  virtual void reloadWidgets() = 0;
  virtual void setOnChange(std::function<void()> callback) = 0;
};

}  // namespace tovarin
