#pragma once

#include <memory>
#include <thread>

#include "base/MainLoop.h"

namespace tovarin {

// The main loop of the program: the GLib default main context that GTK runs.
// Construct it on the thread that runs that context (the main thread); post() and
// postAfter() may be called from any thread. Tasks run in the order they were posted;
// timers run in the order of their deadlines. Destroying the loop drops every task
// that has not run yet.
class GlibMainLoop final : public MainLoop {
 public:
  GlibMainLoop();
  ~GlibMainLoop() override;
  GlibMainLoop(const GlibMainLoop&) = delete;
  GlibMainLoop& operator=(const GlibMainLoop&) = delete;

  void post(Task task) override;
  TimerHandle postAfter(double seconds, Task task) override;
  bool isCurrent() const override;
  double now() const override;

  // The queues, shared with the loop's GSource (defined in the implementation).
  struct State;

 private:
  std::shared_ptr<State> state_;
  const std::thread::id owner_;
};

}  // namespace tovarin
