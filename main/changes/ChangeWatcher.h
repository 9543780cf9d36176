#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/EventStream.h"
#include "base/MainLoop.h"
#include "base/TaskRunner.h"
#include "main/changes/EventMarkerScanner.h"
#include "main/changes/Throttle.h"
#include "main/changes/WidgetTimelines.h"

namespace tovarin {

// Follows the local server's change stream ("/api/stream") for the whole run and turns
// each burst of events into two throttled reactions: a widget reload (at most once per
// 2 s) and the owner's change callback on the main loop (at most once per 0.5 s), each
// with one trailing call for what came in between. Reconnects 3 s after the stream ends,
// or 300 s after the server refused it.
//
// Lives on queue_: the stream delivers there and the throttles, timers and stream live
// there. The public methods may be called from any thread and hop onto queue_;
// onChange runs on the main loop.
class ChangeWatcher final : public std::enable_shared_from_this<ChangeWatcher> {
 public:
  // The label of the serial queue the program gives it.
  static constexpr const char* queueLabel = "com.orvik.thetovarin.changes";

  struct Timing {
    double reloadInterval = 2.0;
    double notifyInterval = 0.5;
    double retryAfterDrop = 3.0;
    double retryAfterRefusal = 300.0;
    double idleTimeout = 60.0;  // a stream silent this long counts as dropped
  };

  // The dependencies must outlive the watcher.
  static std::shared_ptr<ChangeWatcher> create(int64_t port, EventStream& stream, WidgetTimelines& widgets,
                                               TaskRunner& queue, MainLoop& mainLoop);
  static std::shared_ptr<ChangeWatcher> create(int64_t port, EventStream& stream, WidgetTimelines& widgets,
                                               TaskRunner& queue, MainLoop& mainLoop, Timing timing);
  ~ChangeWatcher();
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

  // Main loop only. The owner captures itself weakly in it.
  void setOnChange(std::function<void()> onChange);

  // Connects (again, when already connected). Called once the server is ready.
  void start();
  // Ends the stream and every reconnect; throttled reactions already due still run.
  void stop();
  // The throttled widget reload; the owner also calls it once when the server is ready.
  void reloadWidgets();
  // The throttled change callback.
  void notifyChange();

 private:
  std::string streamUrl() const;
  ChangeWatcher(int64_t port, EventStream& stream, WidgetTimelines& widgets, TaskRunner& queue, MainLoop& mainLoop,
                Timing timing);
  void onQueue(std::function<void(ChangeWatcher&)> work);
  void connect();
  void onResponse(int status);
  void onChunk(const std::string& bytes);
  void onEnd();
  void reloadOnQueue();
  void notifyOnQueue();
  void callOnChangeOnMainLoop();

  const int64_t port_;
  EventStream& stream_;
  WidgetTimelines& widgets_;
  TaskRunner& queue_;
  MainLoop& mainLoop_;
  const Timing timing_;

  std::function<void()> onChange_;                  // main loop only
  std::unique_ptr<EventStreamConnection> current_;  // queue_ only
  bool stopped_ = false;                            // queue_ only
  int lastStatus_ = 0;                              // queue_ only
  EventMarkerScanner scanner_;                      // queue_ only
  Throttle reloadThrottle_;                         // queue_ only
  Throttle notifyThrottle_;                         // queue_ only
  TimerHandle reconnectTimer_;                      // queue_ only
  TimerHandle trailingReload_;                      // queue_ only
  TimerHandle trailingNotify_;                      // queue_ only
};

}  // namespace tovarin
