#include "main/changes/ChangeWatcher.h"

#include <cassert>

#include "base/HttpTarget.h"
#include "base/Log.h"
#include "main/config/LocalServerOrigin.h"

namespace tovarin {

std::shared_ptr<ChangeWatcher> ChangeWatcher::create(int64_t port, EventStream& stream, WidgetTimelines& widgets,
                                                     TaskRunner& queue, MainLoop& mainLoop) {
  return create(port, stream, widgets, queue, mainLoop, Timing{});
}

std::shared_ptr<ChangeWatcher> ChangeWatcher::create(int64_t port, EventStream& stream, WidgetTimelines& widgets,
                                                     TaskRunner& queue, MainLoop& mainLoop, Timing timing) {
  return std::shared_ptr<ChangeWatcher>(new ChangeWatcher(port, stream, widgets, queue, mainLoop, timing));
}

ChangeWatcher::ChangeWatcher(int64_t port, EventStream& stream, WidgetTimelines& widgets, TaskRunner& queue,
                             MainLoop& mainLoop, Timing timing)
    : port_(port),
      stream_(stream),
      widgets_(widgets),
      queue_(queue),
      mainLoop_(mainLoop),
      timing_(timing),
      reloadThrottle_(timing.reloadInterval),
      notifyThrottle_(timing.notifyInterval) {}

// The last owner may let go on any thread; the stream's cancel and the timer handles
// are safe from anywhere.
ChangeWatcher::~ChangeWatcher() {
  if (current_) current_->cancel();
}

std::string ChangeWatcher::streamUrl() const { return localServerOrigin(port_) + "/api/stream"; }

void ChangeWatcher::setOnChange(std::function<void()> onChange) {
  assert(mainLoop_.isMainThread());
  onChange_ = std::move(onChange);
}

void ChangeWatcher::onQueue(std::function<void(ChangeWatcher&)> work) {
  if (queue_.isCurrent()) {
    work(*this);
    return;
  }
  queue_.post([weak = weak_from_this(), work = std::move(work)] {
    if (auto self = weak.lock()) work(*self);
  });
}

void ChangeWatcher::start() {
  onQueue([](ChangeWatcher& self) {
    self.stopped_ = false;
    self.connect();
  });
}

void ChangeWatcher::stop() {
  onQueue([](ChangeWatcher& self) {
    self.stopped_ = true;
    self.reconnectTimer_.cancel();
    if (auto current = std::exchange(self.current_, nullptr)) current->cancel();
  });
}

void ChangeWatcher::reloadWidgets() {
  onQueue([](ChangeWatcher& self) { self.reloadOnQueue(); });
}

void ChangeWatcher::notifyChange() {
  onQueue([](ChangeWatcher& self) { self.notifyOnQueue(); });
}

void ChangeWatcher::connect() {
  assert(queue_.isCurrent());
  if (stopped_) return;
  reconnectTimer_.cancel();
  // The old stream is cancelled before the new one opens, so its end can never
  // schedule a second reconnect behind this one's back.
  if (auto old = std::exchange(current_, nullptr)) old->cancel();
  lastStatus_ = 0;
  scanner_.reset();

  EventStreamRequest request;
  request.url = streamUrl();
  // A configured port no address can carry: there is nothing to follow, and retrying
  // every few seconds would change nothing.
  if (!HttpTarget::parse(request.url)) return;
  request.headers = {{"accept", "text/event-stream"}};
  request.idleTimeoutSeconds = timing_.idleTimeout;

  auto weak = weak_from_this();
  EventStreamHandlers handlers;
  handlers.onResponse = [weak](int status) {
    if (auto self = weak.lock()) self->onResponse(status);
  };
  handlers.onChunk = [weak](std::string bytes) {
    if (auto self = weak.lock()) self->onChunk(bytes);
  };
  handlers.onEnd = [weak](EventStreamEnd) {
    if (auto self = weak.lock()) self->onEnd();
  };
  current_ = stream_.open(std::move(request), queue_, std::move(handlers));
}

void ChangeWatcher::onResponse(int status) {
  assert(queue_.isCurrent());
  lastStatus_ = status;
  if (status != 200) log("stream refused: HTTP " + std::to_string(status));
}

void ChangeWatcher::onChunk(const std::string& bytes) {
  assert(queue_.isCurrent());
  if (!scanner_.feed(bytes)) return;
  reloadOnQueue();
  notifyOnQueue();
}

void ChangeWatcher::onEnd() {
  assert(queue_.isCurrent());
  current_.reset();
  if (stopped_) return;
  const bool refused = lastStatus_ != 200 && lastStatus_ != 0;
  const double delay = refused ? timing_.retryAfterRefusal : timing_.retryAfterDrop;
  reconnectTimer_ = queue_.postAfter(delay, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->connect();
  });
}

void ChangeWatcher::reloadOnQueue() {
  assert(queue_.isCurrent());
  auto decision = reloadThrottle_.request(queue_.now());
  switch (decision.action) {
    case Throttle::Action::now:
      widgets_.reloadAllTimelines();
      return;
    case Throttle::Action::coalesced:
      return;
    case Throttle::Action::later:
      trailingReload_ = queue_.postAfter(decision.delay, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
          self->reloadThrottle_.trailingFired(self->queue_.now());
          self->widgets_.reloadAllTimelines();
        }
      });
      return;
  }
}

void ChangeWatcher::notifyOnQueue() {
  assert(queue_.isCurrent());
  auto decision = notifyThrottle_.request(queue_.now());
  switch (decision.action) {
    case Throttle::Action::now:
      callOnChangeOnMainLoop();
      return;
    case Throttle::Action::coalesced:
      return;
    case Throttle::Action::later:
      trailingNotify_ = queue_.postAfter(decision.delay, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
          self->notifyThrottle_.trailingFired(self->queue_.now());
          self->callOnChangeOnMainLoop();
        }
      });
      return;
  }
}

void ChangeWatcher::callOnChangeOnMainLoop() {
  mainLoop_.post([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    // A copy: the callback may replace itself.
    if (auto onChange = self->onChange_) onChange();
  });
}

}  // namespace tovarin
