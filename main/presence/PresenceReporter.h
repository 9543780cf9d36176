#pragma once

#include <memory>
#include <optional>

#include "base/TaskRunner.h"
#include "main/presence/PresenceBeacon.h"
#include "main/presence/PresenceProbe.h"

namespace tovarin {

// While the user is at the computer (screen unlocked, recent input), tells the local
// server so, at most once every five minutes. Ticks first 1 s after start(), then every
// `interval` seconds; at most one report is in flight. Backs off after failures: 60 s
// doubling up to 960 s, and 1800 s when the server answers 401 or 403.
//
// Lives on queue_ ("com.orvik.thetovarin.presence" in the program): every field below
// is touched there only. start() and stop() return at once from any thread; their
// work runs on queue_. The probe is called on queue_ only.
class PresenceReporter final : public std::enable_shared_from_this<PresenceReporter> {
 public:
  // The label of the serial queue the program gives it.
  static constexpr const char* queueLabel = "com.orvik.thetovarin.presence";
  static constexpr double firstTickDelay = 1.0;
  static constexpr double defaultInterval = 60.0;

  // The beacon's client, the probe and the queue must outlive the reporter.
  static std::shared_ptr<PresenceReporter> create(PresenceBeacon beacon, PresenceProbe& probe, TaskRunner& queue,
                                                  double interval = defaultInterval);
  PresenceReporter(const PresenceReporter&) = delete;
  PresenceReporter& operator=(const PresenceReporter&) = delete;

  void start();
  // Ends the ticks; the dates and the failure count are kept, and a report already in
  // flight still settles.
  void stop();

 private:
  PresenceReporter(PresenceBeacon beacon, PresenceProbe& probe, TaskRunner& queue, double interval);
  void startOnQueue();
  void scheduleTick();
  // `due`: when this tick was scheduled, at or before `now`.
  void tick(double now, double due);
  // `sentAt`: the due time of the tick that sent the report.
  void settle(PresenceBeacon::Outcome outcome, double sentAt);

  PresenceBeacon beacon_;
  PresenceProbe& probe_;
  TaskRunner& queue_;
  const double interval_;

  TimerHandle timer_;                     // queue_ only
  double nextTickAt_ = 0;                 // queue_ only
  std::optional<double> lastReportedAt_;  // queue_ only
  std::optional<double> backoffUntil_;    // queue_ only
  int failures_ = 0;                      // queue_ only
  bool inFlight_ = false;                 // queue_ only
};

}  // namespace tovarin
