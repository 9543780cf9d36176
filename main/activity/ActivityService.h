#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Calendar.h"
#include "base/SyncSerialQueue.h"
#include "main/activity/ActivityBridgeReply.h"
#include "main/activity/ActivityBridgeRequest.h"
#include "main/activity/ActivityServiceError.h"
#include "main/activity/ActivityStore.h"
#include "main/activity_core/ActivityEvent.h"
#include "main/activity_core/ActivityOwnership.h"
#include "main/activity_core/ActivitySettings.h"
#include "main/activity_core/IntervalBuilder.h"

namespace tovarin {

// The one owner of the activity record's live state: settings, interval builder, store
// and the account the record belongs to. Every entry point runs serially on the
// service's queue, on the caller's own thread, and returns when done; called from the
// queue itself (from onChange of an inline call, say) it runs inline. After a command that can change what the
// user sees, onChange gets the new snapshot on the calling thread, once per change,
// never while the queue is held. Starts no timer and writes no log: its owner drives it.
class ActivityService final {
 public:
  struct Snapshot {
    ActivitySettings settings;
    ActivityStoreState storeState = ActivityStoreState::absent;
    ActivityOwnership ownership = ActivityOwnership::unknown;
    bool keptForOriginal = false;
    bool capturing = false;  // on, not paused, store ready, ownership matched
    bool operator==(const Snapshot&) const = default;
  };

  enum class EnableOutcome { enabled, needsAccount, needsAccountChoice, failed };

  // A reset's answer; `recordsWiped` tells, also on failure, that the unreadable
  // records are gone already, so the user must not hear that nothing changed.
  struct KeyLossReset : ActivityServiceOutcome<ActivityClearCounts> {
    bool recordsWiped = false;
  };

  using Clock = std::function<double()>;
  using CalendarSource = std::function<Calendar()>;
  using Persist = std::function<void(const ActivitySettings&)>;
  using OnChange = std::function<void(const Snapshot&)>;

  static constexpr double ownerValiditySeconds = 90.0;
  static constexpr double flushSeconds = 300.0;

  static Calendar localCalendar();
  static double wallClockNow();

  ActivityService(std::shared_ptr<ActivityStore> store, ActivitySettings settings, IntervalBuilder::MakeId makeId,
                  std::function<bool()> accessibilityTrusted, Clock now = wallClockNow,
                  CalendarSource calendar = localCalendar, Persist persist = nullptr);
  ActivityService(const ActivityService&) = delete;
  ActivityService& operator=(const ActivityService&) = delete;

  // Any thread; the closure is read at each publication.
  void setOnChange(OnChange onChange);

  void start();
  EnableOutcome enable();
  ActivityServiceOutcome<ActivityDestroyCounts> disableAndDestroy();
  void update(const std::function<void(ActivitySettings&)>& change);
  void setPaused(bool paused);
  void record(const ActivityEvent& event);
  ActivityServiceOutcome<ActivityClearCounts> clear(ClearRange range);
  ActivityServiceOutcome<ActivityClearCounts> rebindToCurrentAccount();
  void keepForOriginalAccount();
  void retryOpen();
  KeyLossReset resetAfterKeyLoss();
  void maintain();
  void shutdown();
  [[nodiscard]] ActivityBridgeReply handle(const ActivityBridgeRequest& request);
  [[nodiscard]] Snapshot snapshot();
  [[nodiscard]] std::optional<ActivityStore::RowCounts> counts();

  [[nodiscard]] bool isCurrent() const { return queue_.isCurrent(); }

 private:
  // Runs body on the queue, then publishes the snapshot if it changed.
  template <typename Body>
  auto published(Body body) -> decltype(body());
  void publish(const std::optional<Snapshot>& fresh);
  std::optional<Snapshot> takeChangedSnapshot();

  // Queue only, below.
  Snapshot makeSnapshot();
  bool ownerReportInForce(double now) const;
  ActivityOwnership ownership();
  bool isOwned();
  std::vector<ActivityInterval> feed(const ActivityEvent& event) { return builder_.handle(event); }
  void appendIfOwned(const std::vector<ActivityInterval>& intervals);
  void syncBuilder(double now);
  void changeSettings(ActivitySettings settings);
  void recordOwnerReport(const std::optional<std::string>& owner);
  bool ownerAvailable();
  ActivityStoreState openStore(ActivityStore::OpenMode mode, const std::optional<std::string>& owner);
  static void logOpenFailure(const ActivityStoreError& error);
  ActivityBridgeReply answerQuery(const ActivityBridgeRequest::Query& query, bool accessibilityTrusted);
  void maintainStore();

  // Every entry point is synchronous, so the callers take turns on their own threads
  // rather than handing each call to a thread of the service's.
  SyncSerialQueue queue_;
  const std::shared_ptr<ActivityStore> store_;  // queue_ only
  IntervalBuilder builder_;                     // queue_ only
  const Clock now_;
  const CalendarSource calendar_;
  const std::function<bool()> accessibilityTrusted_;
  const Persist persist_;

  // queue_ only
  ActivitySettings settings_;
  std::optional<std::string> currentOwner_;
  bool currentOwnerKnown_ = false;
  std::optional<double> currentOwnerAt_;
  bool keptForOriginal_ = false;
  double lastMaintenanceHour_ = -1.0;
  double lastFlushAt_ = 0.0;
  std::optional<Snapshot> lastNotified_;

  std::mutex onChangeMutex_;
  OnChange onChange_;  // onChangeMutex_
};

}  // namespace tovarin
