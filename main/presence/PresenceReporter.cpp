#include "main/presence/PresenceReporter.h"

#include <cassert>
#include <algorithm>

namespace tovarin {

std::shared_ptr<PresenceReporter> PresenceReporter::create(PresenceBeacon beacon, PresenceProbe& probe,
                                                           TaskRunner& queue, double interval) {
  return std::shared_ptr<PresenceReporter>(new PresenceReporter(std::move(beacon), probe, queue, interval));
}

PresenceReporter::PresenceReporter(PresenceBeacon beacon, PresenceProbe& probe, TaskRunner& queue, double interval)
    : beacon_(std::move(beacon)), probe_(probe), queue_(queue), interval_(interval > 0 ? interval : defaultInterval) {}

void PresenceReporter::start() {
  queue_.post([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->startOnQueue();
  });
}

void PresenceReporter::stop() {
  queue_.post([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->timer_.cancel();
  });
}

void PresenceReporter::startOnQueue() {
  assert(queue_.isCurrent());
  if (timer_.isArmed()) return;
  nextTickAt_ = queue_.now() + firstTickDelay;
  scheduleTick();
}

// A repeating timer on a fixed cadence: each deadline follows from the last one, not
// from when the tick ran, and deadlines missed while the queue was busy collapse into one.
void PresenceReporter::scheduleTick() {
  const double now = queue_.now();
  timer_ = queue_.postAfter(std::max(0.0, nextTickAt_ - now), [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    const double now = self->queue_.now();
    double due = self->nextTickAt_;
    while (self->nextTickAt_ <= now) {
      due = self->nextTickAt_;
      self->nextTickAt_ += self->interval_;
    }
    self->scheduleTick();
    self->tick(now, due);
  });
}

void PresenceReporter::tick(double now, double due) {
  assert(queue_.isCurrent());
  if (inFlight_) return;
  const PresenceFacts facts = probe_.facts(lastReportedAt_, backoffUntil_);
  if (!PresenceSchedule::shouldReport(facts, now)) return;
  inFlight_ = true;
  // The report and any back-off are dated by the tick that sent it, not by its answer:
  // dated a few milliseconds late, the tick one spacing later would fall just short of
  // it and be skipped, and reports would come a whole interval late.
  beacon_.send(queue_, [weak = weak_from_this(), due](PresenceBeacon::Outcome outcome) {
    if (auto self = weak.lock()) self->settle(outcome, due);
  });
}

void PresenceReporter::settle(PresenceBeacon::Outcome outcome, double now) {
  assert(queue_.isCurrent());
  inFlight_ = false;
  switch (outcome) {
    case PresenceBeacon::Outcome::reported:
      lastReportedAt_ = now;
      backoffUntil_.reset();
      failures_ = 0;
      return;
    case PresenceBeacon::Outcome::unauthorized:
      ++failures_;
      backoffUntil_ = PresenceSchedule::backoff(failures_, PresenceRefusal::unauthorized, now);
      return;
    case PresenceBeacon::Outcome::failed:
      ++failures_;
      backoffUntil_ = PresenceSchedule::backoff(failures_, PresenceRefusal::failed, now);
      return;
  }
}

}  // namespace tovarin
