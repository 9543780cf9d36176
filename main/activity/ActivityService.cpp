#include "main/activity/ActivityService.h"

#include <chrono>
#include <cmath>
#include <type_traits>

#include "base/Log.h"
#include "main/activity_core/ActivityAccess.h"

namespace tovarin {

Calendar ActivityService::localCalendar() { return Calendar::gregorianInCurrentZone(); }

double ActivityService::wallClockNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

ActivityService::ActivityService(std::shared_ptr<ActivityStore> store, ActivitySettings settings,
                                 IntervalBuilder::MakeId makeId, std::function<bool()> accessibilityTrusted,
                                 Clock now, CalendarSource calendar, Persist persist)
    : store_(std::move(store)),
      builder_(settings, IntervalBuilder::defaultMinimumSeconds, std::move(makeId)),
      now_(std::move(now)),
      calendar_(std::move(calendar)),
      accessibilityTrusted_(std::move(accessibilityTrusted)),
      persist_(persist ? std::move(persist) : [](const ActivitySettings&) {}),
      settings_(std::move(settings)) {
  // Nothing is recorded until an owner report matches the store.
  queue_.sync([this] { (void)feed(ActivityEvent::suspend(SuspendReason::account, now_())); });
}

void ActivityService::setOnChange(OnChange onChange) {
  std::lock_guard lock(onChangeMutex_);
  onChange_ = std::move(onChange);
}

// ---- The queue and the change rule

template <typename Body>
auto ActivityService::published(Body body) -> decltype(body()) {
  using Result = decltype(body());
  std::optional<Snapshot> fresh;
  if constexpr (std::is_void_v<Result>) {
    queue_.sync([&] {
      body();
      fresh = takeChangedSnapshot();
    });
    publish(fresh);
  } else {
    std::optional<Result> result;
    queue_.sync([&] {
      result.emplace(body());
      fresh = takeChangedSnapshot();
    });
    publish(fresh);
    return std::move(*result);
  }
}

std::optional<ActivityService::Snapshot> ActivityService::takeChangedSnapshot() {
  Snapshot current = makeSnapshot();
  if (lastNotified_ == current) return std::nullopt;
  lastNotified_ = current;
  return current;
}

void ActivityService::publish(const std::optional<Snapshot>& fresh) {
  if (!fresh) return;
  OnChange onChange;
  {
    std::lock_guard lock(onChangeMutex_);
    onChange = onChange_;
  }
  if (onChange) onChange(*fresh);
}

// ---- Derived state (queue only)

ActivityService::Snapshot ActivityService::makeSnapshot() {
  const ActivityOwnership owned = ownership();
  const ActivityStoreState state = store_->state();
  const bool capturing = settings_.enabled && !settings_.paused && state == ActivityStoreState::ready &&
                         owned == ActivityOwnership::matched;
  return Snapshot{settings_, state, owned, keptForOriginal_, capturing};
}

bool ActivityService::ownerReportInForce(double now) const {
  return currentOwnerAt_ && std::fabs(now - *currentOwnerAt_) <= ownerValiditySeconds;
}

ActivityOwnership ActivityService::ownership() {
  const bool ready = store_->state() == ActivityStoreState::ready;
  const bool inForce = ownerReportInForce(now_());
  return resolveOwnership(ready ? store_->boundOwner() : std::nullopt, inForce ? currentOwner_ : std::nullopt,
                          inForce && currentOwnerKnown_);
}

bool ActivityService::isOwned() {
  return store_->state() == ActivityStoreState::ready && ownership() == ActivityOwnership::matched;
}

// An owner report in force that names somebody.
bool ActivityService::ownerAvailable() { return currentOwnerKnown_ && ownerReportInForce(now_()) && currentOwner_; }

void ActivityService::appendIfOwned(const std::vector<ActivityInterval>& intervals) {
  if (intervals.empty() || !isOwned()) return;
  (void)store_->append(intervals);  // the store's state tells what is left
}

void ActivityService::syncBuilder(double now) {
  appendIfOwned(feed(ActivityEvent::settings(settings_, now)));
  (void)feed(isOwned() ? ActivityEvent::resume(SuspendReason::account, now)
                       : ActivityEvent::suspend(SuspendReason::account, now));
}

void ActivityService::changeSettings(ActivitySettings settings) {
  settings_ = std::move(settings);
  persist_(settings_);
}

ActivityStoreState ActivityService::openStore(ActivityStore::OpenMode mode, const std::optional<std::string>& owner) {
  auto opened = store_->open(mode, owner);
  if (!opened.ok()) logOpenFailure(*opened.error);
  // A failed open leaves no answer to trust: it counts as a database that is there.
  return opened.ok() ? opened.value : ActivityStoreState::keyMissing;
}

void ActivityService::logOpenFailure(const ActivityStoreError& error) {
  const std::string why = error.message.empty() ? "code " + std::to_string(error.code) : error.message;
  log("activity: the record did not open: " + why);
}

// ---- Commands

void ActivityService::start() {
  published([this] {
    if (!settings_.enabled) return;
    if (openStore(ActivityStore::OpenMode::existingOnly, std::nullopt) == ActivityStoreState::absent) {
      // The database is gone: recording cannot be on without it.
      changeSettings(ActivitySettings());
    }
    syncBuilder(now_());
  });
}

ActivityService::EnableOutcome ActivityService::enable() {
  return published([this] {
    if (!ownerAvailable()) return EnableOutcome::needsAccount;
    auto opened = store_->open(ActivityStore::OpenMode::createIfMissing, currentOwner_);
    if (!opened.ok()) {
      logOpenFailure(*opened.error);
      return EnableOutcome::failed;
    }
    ActivitySettings enabled = settings_;
    enabled.enabled = true;
    enabled.paused = false;
    changeSettings(enabled);
    keptForOriginal_ = false;
    syncBuilder(now_());
    if (opened.value != ActivityStoreState::ready) return EnableOutcome::failed;
    const auto& bound = store_->boundOwner();
    return bound && bound == currentOwner_ ? EnableOutcome::enabled : EnableOutcome::needsAccountChoice;
  });
}

ActivityServiceOutcome<ActivityDestroyCounts> ActivityService::disableAndDestroy() {
  return published([this] {
    changeSettings(ActivitySettings());
    keptForOriginal_ = false;
    (void)feed(ActivityEvent::settings(settings_, now_()));
    return ActivityServiceOutcome<ActivityDestroyCounts>::from(store_->destroy());
  });
}

void ActivityService::update(const std::function<void(ActivitySettings&)>& change) {
  published([&] {
    if (!settings_.enabled) return;
    ActivitySettings changed = settings_;
    change(changed);
    changed.retentionDays = ActivitySettings::clampRetention(changed.retentionDays);
    changed.enabled = true;  // only disableAndDestroy turns the record off
    if (changed == settings_) return;
    // A new retention is applied at the next maintenance, whatever the hour.
    if (changed.retentionDays != settings_.retentionDays) lastMaintenanceHour_ = -1.0;
    changeSettings(changed);
    appendIfOwned(feed(ActivityEvent::settings(settings_, now_())));
  });
}

void ActivityService::setPaused(bool paused) {
  update([paused](ActivitySettings& settings) { settings.paused = paused; });
}

void ActivityService::record(const ActivityEvent& event) {
  queue_.sync([&] { appendIfOwned(feed(event)); });
}

ActivityServiceOutcome<ActivityClearCounts> ActivityService::clear(ClearRange range) {
  return published([&] {
    using Outcome = ActivityServiceOutcome<ActivityClearCounts>;
    if (!settings_.enabled || store_->state() != ActivityStoreState::ready) {
      return Outcome::failed(ActivityServiceError::notAllowed);
    }
    const double now = now_();
    // The interval in progress is stored first, so that the clear covers it too.
    appendIfOwned(feed(ActivityEvent::suspend(SuspendReason::disabled, now)));
    Outcome outcome = Outcome::from(store_->clear(range, now));
    (void)feed(ActivityEvent::resume(SuspendReason::disabled, now));
    return outcome;
  });
}

ActivityServiceOutcome<ActivityClearCounts> ActivityService::rebindToCurrentAccount() {
  return published([this] {
    using Outcome = ActivityServiceOutcome<ActivityClearCounts>;
    if (!settings_.enabled || store_->state() != ActivityStoreState::ready) {
      return Outcome::failed(ActivityServiceError::notAllowed);
    }
    if (!ownerAvailable()) return Outcome::failed(ActivityServiceError::needsAccount);
    const double now = now_();
    // What is in progress belongs to the record being wiped.
    (void)feed(ActivityEvent::suspend(SuspendReason::disabled, now));
    Outcome outcome = Outcome::from(store_->rebind(*currentOwner_));
    (void)feed(ActivityEvent::resume(SuspendReason::disabled, now));
    keptForOriginal_ = false;
    syncBuilder(now);
    return outcome;
  });
}

void ActivityService::keepForOriginalAccount() {
  published([this] { keptForOriginal_ = true; });
}

void ActivityService::retryOpen() {
  published([this] {
    if (!settings_.enabled) return;
    (void)openStore(ActivityStore::OpenMode::existingOnly, std::nullopt);
    syncBuilder(now_());
  });
}

ActivityService::KeyLossReset ActivityService::resetAfterKeyLoss() {
  return published([this] {
    KeyLossReset answer;
    const ActivityStoreState state = store_->state();
    if (!settings_.enabled || (state != ActivityStoreState::keyMissing && state != ActivityStoreState::keyLocked)) {
      answer.error = ActivityServiceError::notAllowed;
      return answer;
    }
    if (!ownerAvailable()) {
      answer.error = ActivityServiceError::needsAccount;
      return answer;
    }
    ActivityStore::ResetOutcome reset = store_->resetAfterKeyLoss(currentOwner_);
    syncBuilder(now_());
    answer.recordsWiped = reset.recordsWiped;
    if (reset.error) {
      answer.error = *reset.error;
    } else {
      answer.value = reset.value;
    }
    return answer;
  });
}

void ActivityService::maintain() {
  published([this] {
    const double now = now_();
    if (currentOwnerAt_ && !ownerReportInForce(now)) {
      currentOwnerAt_.reset();  // the report expires; who it named is kept
      (void)feed(ActivityEvent::suspend(SuspendReason::account, now));
    }
    if (settings_.enabled && store_->state() == ActivityStoreState::ready) maintainStore();
  });
}

void ActivityService::maintainStore() {
  const double now = now_();
  if (std::fabs(now - lastFlushAt_) >= flushSeconds) {
    lastFlushAt_ = now;
    appendIfOwned(feed(ActivityEvent::flush(now)));
  }
  const Calendar calendar = calendar_();
  const auto hour = calendar.hourInterval(now);
  const double hourStart = hour ? hour->start : now;
  if (hourStart == lastMaintenanceHour_) return;
  lastMaintenanceHour_ = hourStart;
  (void)store_->prune(now, settings_.retentionDays);
  // Even after a failed prune: the summaries stand on their own.
  (void)store_->refreshSummaries(now, calendar);
}

void ActivityService::shutdown() {
  queue_.sync([this] {
    appendIfOwned(feed(ActivityEvent::suspend(SuspendReason::disabled, now_())));
    store_->close();
  });
}

// ---- The local server's requests

ActivityBridgeReply ActivityService::handle(const ActivityBridgeRequest& request) {
  // A query names the signed-in account too, so it counts as an owner report.
  published([&] { recordOwnerReport(request.reportedOwner()); });
  const auto* query = request.asQuery();
  if (!query) return ActivityBridgeReply::acknowledged();
  // Asked outside the queue: the answer may take the platform a while.
  const bool trusted = accessibilityTrusted_ ? accessibilityTrusted_() : false;
  std::optional<ActivityBridgeReply> reply;
  queue_.sync([&] { reply = answerQuery(*query, trusted); });
  return std::move(*reply);
}

void ActivityService::recordOwnerReport(const std::optional<std::string>& owner) {
  const double now = now_();
  const bool wasInForce = ownerReportInForce(now);
  const bool same = currentOwnerKnown_ && currentOwner_ == owner;
  currentOwnerAt_ = now;
  if (same && wasInForce) return;
  if (same) {
    (void)feed(ActivityEvent::suspend(SuspendReason::account, now));
    syncBuilder(now);
    return;
  }
  auto closed = feed(ActivityEvent::suspend(SuspendReason::account, now));
  // Judged under the previous owner, whose report still held until this one.
  if (wasInForce) appendIfOwned(closed);
  currentOwner_ = owner;
  currentOwnerKnown_ = true;
  keptForOriginal_ = false;
  syncBuilder(now);
}

ActivityBridgeReply ActivityService::answerQuery(const ActivityBridgeRequest::Query& query, bool accessibilityTrusted) {
  const ActivityStoreState state = store_->state();
  const auto& bound = store_->boundOwner();
  const bool ownerMatches = state == ActivityStoreState::ready && bound && *bound == query.owner;
  if (auto denial = ActivityAccess::denial(settings_, accessibilityTrusted, state, ownerMatches)) {
    return ActivityBridgeReply::denied(*denial);
  }
  const double now = now_();
  // The interval in progress is part of the answer.
  appendIfOwned(feed(ActivityEvent::flush(now)));
  auto answer = store_->query(query.args, now, calendar_());
  if (!answer.ok() || !answer.value) return ActivityBridgeReply::denied(ActivityDenial::notGranted);
  return ActivityBridgeReply::items(std::move(*answer.value));
}

// ---- Reading

ActivityService::Snapshot ActivityService::snapshot() {
  Snapshot current;
  queue_.sync([&] { current = makeSnapshot(); });
  return current;
}

std::optional<ActivityStore::RowCounts> ActivityService::counts() {
  std::optional<ActivityStore::RowCounts> result;
  queue_.sync([&] {
    if (store_->state() != ActivityStoreState::ready) return;
    auto counted = store_->counts();
    if (counted.ok()) result = counted.value;
  });
  return result;
}

}  // namespace tovarin
