#include "platform/glib/GlibMainLoop.h"

#include <glib.h>

#include <cassert>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>

#include "base/MonotonicClock.h"

namespace tovarin {

// Shared by the loop object and its GSource, so that a dispatch in progress never
// sees freed state even when a task destroys the loop.
struct GlibMainLoop::State {
  struct Timer {
    Task task;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };

  std::mutex mutex;
  std::deque<Task> posted;                                    // mutex
  std::multimap<std::pair<double, uint64_t>, Timer> timers;  // mutex
  uint64_t sequence = 0;                                      // mutex
  std::atomic<bool> stopped{false};                           // written under mutex
  GMainContext* context = nullptr;                            // set once, then read-only
  GSource* source = nullptr;                                  // owner thread only

  // Milliseconds until the next task is due: 0 when one is due now, -1 for none.
  int millisecondsUntilDue() {
    std::lock_guard lock(mutex);
    if (stopped.load()) return -1;
    if (!posted.empty()) return 0;
    // Cancelled timers at the front would only wake the loop for nothing.
    while (!timers.empty() && timers.begin()->second.cancelled->load()) timers.erase(timers.begin());
    if (timers.empty()) return -1;
    const double wait = timers.begin()->first.first - monotonicSeconds();
    if (wait <= 0) return 0;
    return static_cast<int>(std::min(std::ceil(wait * 1000.0), double(G_MAXINT)));
  }

  void runDue() {
    std::deque<Task> batch;
    {
      std::lock_guard lock(mutex);
      if (stopped.load()) return;
      batch.swap(posted);
    }
    // Tasks posted while this batch runs wait for the next dispatch, so that GTK's own
    // event sources get their turn in between.
    for (auto& task : batch) {
      if (stopped.load()) return;  // a task ended the loop
      task();
      task = nullptr;
    }
    const double now = monotonicSeconds();
    for (;;) {
      Timer timer;
      {
        std::lock_guard lock(mutex);
        if (stopped.load() || timers.empty() || timers.begin()->first.first > now) return;
        timer = std::move(timers.begin()->second);
        timers.erase(timers.begin());
      }
      if (!timer.cancelled->load()) timer.task();
    }
  }
};

namespace {

struct LoopSource {
  GSource source;
  std::shared_ptr<GlibMainLoop::State>* state;  // owned by the source
};

gboolean prepareSource(GSource* source, gint* timeout) {
  auto* self = reinterpret_cast<LoopSource*>(source);
  *timeout = (*self->state)->millisecondsUntilDue();
  return *timeout == 0;
}

gboolean checkSource(GSource* source) {
  auto* self = reinterpret_cast<LoopSource*>(source);
  return (*self->state)->millisecondsUntilDue() == 0;
}

gboolean dispatchSource(GSource* source, GSourceFunc, gpointer) {
  auto* self = reinterpret_cast<LoopSource*>(source);
  auto state = *self->state;  // keeps the state alive through tasks that end the loop
  state->runDue();
  return G_SOURCE_CONTINUE;
}

void finalizeSource(GSource* source) {
  auto* self = reinterpret_cast<LoopSource*>(source);
  delete self->state;
  self->state = nullptr;
}

GSourceFuncs loopSourceFuncs = {prepareSource, checkSource, dispatchSource, finalizeSource, nullptr, nullptr};

}  // namespace

GlibMainLoop::GlibMainLoop() : state_(std::make_shared<State>()), owner_(std::this_thread::get_id()) {
  state_->context = g_main_context_default();
  // The loop belongs to the thread that can run the default context; another thread
  // holding it now means the program was wired wrongly.
  const bool acquired = g_main_context_acquire(state_->context);
  assert(acquired);
  if (acquired) g_main_context_release(state_->context);

  GSource* source = g_source_new(&loopSourceFuncs, sizeof(LoopSource));
  reinterpret_cast<LoopSource*>(source)->state = new std::shared_ptr<State>(state_);
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  // A task that spins a nested loop (a modal dialog of the toolkit) must not stall the
  // tasks posted meanwhile.
  g_source_set_can_recurse(source, TRUE);
  g_source_set_name(source, "tovarin main loop");
  g_source_attach(source, state_->context);
  state_->source = source;
}

GlibMainLoop::~GlibMainLoop() {
  assert(isCurrent());
  std::deque<Task> dropped;
  std::multimap<std::pair<double, uint64_t>, State::Timer> droppedTimers;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopped.store(true);
    dropped.swap(state_->posted);
    droppedTimers.swap(state_->timers);
  }
  g_source_destroy(state_->source);
  g_source_unref(state_->source);
  state_->source = nullptr;
}

void GlibMainLoop::post(Task task) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopped.load()) return;
    state_->posted.push_back(std::move(task));
  }
  g_main_context_wakeup(state_->context);
}

TimerHandle GlibMainLoop::postAfter(double seconds, Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopped.load()) return TimerHandle(cancelled);
    // NaN and negative delays mean "now"; an endless delay means "not in this run".
    const double delay = seconds > 0 ? std::min(seconds, 1e9) : 0.0;
    const double due = monotonicSeconds() + delay;
    state_->timers.emplace(std::make_pair(due, state_->sequence++), State::Timer{std::move(task), cancelled});
  }
  g_main_context_wakeup(state_->context);
  return TimerHandle(cancelled);
}

bool GlibMainLoop::isCurrent() const { return std::this_thread::get_id() == owner_; }

double GlibMainLoop::now() const { return monotonicSeconds(); }

}  // namespace tovarin
