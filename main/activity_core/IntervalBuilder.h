#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "main/activity_core/ActivityApp.h"
#include "main/activity_core/ActivityEvent.h"
#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivitySettings.h"
#include "main/activity_core/SuspendReason.h"

namespace tovarin {

// Turns the stream of activity events into closed intervals. Has no lock: its owner
// (the activity service) uses it only on its own serial queue.
class IntervalBuilder final {
 public:
  // The interval being built.
  struct Open {
    std::string bundleId;
    std::string appName;
    std::string title;
    std::optional<std::string> domain;
    double start = 0;
    bool operator==(const Open&) const = default;
  };

  using MakeId = std::function<std::string()>;

  static constexpr double defaultMinimumSeconds = 5.0;

  IntervalBuilder(ActivitySettings settings, double minimumSeconds, MakeId makeId);
  IntervalBuilder(ActivitySettings settings, MakeId makeId)
      : IntervalBuilder(std::move(settings), defaultMinimumSeconds, std::move(makeId)) {}

  // The intervals the event closed, in order. An event whose time is not finite
  // changes nothing: it could only produce intervals that cannot be stored.
  [[nodiscard]] std::vector<ActivityInterval> handle(const ActivityEvent& event);

  [[nodiscard]] const std::optional<Open>& open() const { return open_; }
  void setOpen(std::optional<Open> open) { open_ = std::move(open); }
  [[nodiscard]] const std::set<SuspendReason>& suspended() const { return suspended_; }
  void setSuspended(std::set<SuspendReason> suspended) { suspended_ = std::move(suspended); }
  [[nodiscard]] const ActivitySettings& settings() const { return settings_; }
  [[nodiscard]] double minimumSeconds() const { return minimumSeconds_; }

 private:
  struct Wanted {
    std::string bundleId;
    std::string appName;
    std::string title;
    std::optional<std::string> domain;
  };

  void update(const ActivityEvent::Frontmost& event);
  void update(const ActivityEvent::Title& event);
  void update(const ActivityEvent::Suspend& event);
  void update(const ActivityEvent::Resume& event);
  void update(const ActivityEvent::Settings& event);

  [[nodiscard]] std::optional<Wanted> wanted() const;
  [[nodiscard]] std::vector<ActivityInterval> reconcile(double at);
  [[nodiscard]] std::vector<ActivityInterval> flush(double at);
  [[nodiscard]] std::vector<ActivityInterval> close(const Open& record, double at);

  std::optional<Open> open_;
  std::set<SuspendReason> suspended_;
  ActivitySettings settings_;
  double minimumSeconds_;
  MakeId makeId_;
  std::optional<ActivityApp> front_;
  std::string frontTitle_;
  std::optional<std::string> frontDomain_;
  bool frontIncognito_ = false;
};

}  // namespace tovarin
