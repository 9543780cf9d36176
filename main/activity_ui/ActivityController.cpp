#include "main/activity_ui/ActivityController.h"

#include <algorithm>
#include <cassert>
#include <map>
#include <utility>

#include "base/Text.h"
#include "main/activity/ActivityStore.h"
#include "main/activity_core/ExclusionPolicy.h"
#include "main/activity_ui/ActivityAppRows.h"

namespace tovarin {
namespace {

bool sameIgnoringCase(const std::string& left, const std::string& right) {
  return text::lowercased(left) == text::lowercased(right);
}

}  // namespace

std::shared_ptr<ActivityController> ActivityController::create(MainLoop& loop, std::shared_ptr<ActivityRecord> record,
                                                               Options options) {
  auto controller = std::make_shared<ActivityController>(CreateKey{}, loop, std::move(record), std::move(options));
  controller->followRecord();
  return controller;
}

ActivityController::ActivityController(CreateKey, MainLoop& loop, std::shared_ptr<ActivityRecord> record,
                                       Options options)
    : loop_(loop), record_(std::move(record)), options_(std::move(options)) {}

ActivityController::~ActivityController() = default;

void ActivityController::followRecord() {
  record_->setOnApplied([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->publish();
  });
  record_->setOnEvent([weak = weak_from_this()](const ActivityEvent& event) {
    if (auto self = weak.lock()) self->notice(event);
  });
}

// ---- Launch and exit

void ActivityController::bootstrap() {
  assert(loop_.isMainThread());
  if (bootstrapped_) return;
  bootstrapped_ = true;
  record_->start();
  if (!snapshot().settings.enabled) {
    publish();
    return;
  }
  opening_ = true;
  publish();
  // Holds the controller: the launch open must land even if nobody else keeps it.
  record_->openAtLaunch([self = shared_from_this()](const ActivityService::Snapshot& opened) {
    self->opening_ = false;
    self->record_->apply(opened);
    self->refreshStored();
  });
}

void ActivityController::shutdown() {
  assert(loop_.isMainThread());
  record_->shutdown();
}

// ---- Snapshots and status

void ActivityController::publish() {
  assert(loop_.isMainThread());
  const bool trusted = record_->refreshTrust();
  status_ = ActivityStatus::derive(snapshot(), opening_, frontName_, trusted);
  model_.setSettings(snapshot().settings);
  model_.setStatus(status_);
  model_.setAccessibilityTrusted(trusted);
  if (onPublish_) onPublish_();
}

void ActivityController::notice(const ActivityEvent& event) {
  assert(loop_.isMainThread());
  const auto& payload = event.payload();
  if (const auto* front = std::get_if<ActivityEvent::Frontmost>(&payload)) {
    const bool recorded =
        front->app && ExclusionPolicy::decide(front->app->bundleId, snapshot().settings) == CaptureDecision::record();
    frontName_ = recorded ? std::optional<std::string>(front->app->name) : std::nullopt;
    publish();
  } else if (const auto* suspend = std::get_if<ActivityEvent::Suspend>(&payload)) {
    if (suspend->reason == SuspendReason::noAccess) publish();
  } else if (const auto* resume = std::get_if<ActivityEvent::Resume>(&payload)) {
    if (resume->reason == SuspendReason::noAccess) publish();
  }
}

void ActivityController::refreshStored() {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled || snapshot().ownership != ActivityOwnership::matched) {
    model_.setStored({});
    return;
  }
  onWork([](ActivityService& service) { return service.counts(); },
         [](ActivityController& self, std::optional<ActivityStore::RowCounts> counts) {
           self.model_.setStored(ActivityTexts::storedLine(counts));
         });
}

// ---- The submenu

std::vector<ActivitySubmenu::Entry> ActivityController::submenu() const {
  return ActivitySubmenu::build(status_, snapshot());
}

void ActivityController::performSubmenu(ActivitySubmenu::Action action, std::optional<ClearRange> range) {
  assert(loop_.isMainThread());
  switch (action) {
    case ActivitySubmenu::Action::togglePause: setPaused(!snapshot().settings.paused); break;
    case ActivitySubmenu::Action::clear:
      if (range) clear(*range);
      break;
    case ActivitySubmenu::Action::openSettings: showSettings(); break;
    case ActivitySubmenu::Action::none: break;
  }
}

// ---- Work

template <typename Call, typename Done>
void ActivityController::onWork(Call call, Done done) {
  // The result holds the controller: an action's result must land.
  record_->onWork(std::move(call), [self = shared_from_this(), done = std::move(done)](auto result) mutable {
    done(*self, std::move(result));
  });
}

void ActivityController::confirm(const ActivityConfirmation& question, std::function<void()> onConfirmed,
                                 std::function<void()> onDeclined) {
  if (!options_.panels) {
    if (onDeclined) onDeclined();
    return;
  }
  AlertPanel panel;
  panel.messageText = question.title;
  panel.informativeText = question.message;
  panel.buttons = {question.action, ActivityTexts::cancel};
  panel.destructiveButton = 0;
  panel.returnButton = 1;
  options_.panels->runAlert(std::move(panel), nullptr,
                            [self = shared_from_this(), onConfirmed = std::move(onConfirmed),
                             onDeclined = std::move(onDeclined)](AlertResult result) {
                              if (result.isFirstButton()) {
                                onConfirmed();
                              } else if (onDeclined) {
                                onDeclined();
                              }
                            });
}

// ---- Actions

void ActivityController::setEnabled(bool on) {
  assert(loop_.isMainThread());
  if (!on) {
    if (snapshot().settings.enabled) confirmDisableAndDelete();
    return;
  }
  if (snapshot().settings.enabled) {
    publish();
    return;
  }
  opening_ = true;
  publish();
  onWork(
      [](ActivityService& service) {
        const auto outcome = service.enable();
        return std::make_pair(outcome, service.snapshot());
      },
      [](ActivityController& self, std::pair<ActivityService::EnableOutcome, ActivityService::Snapshot> result) {
        self.opening_ = false;
        self.model_.setLastResult(ActivityTexts::enableResult(result.first));
        self.record_->apply(result.second);
        self.refreshApps();
        self.refreshStored();
      });
}

void ActivityController::confirmDisableAndDelete() {
  assert(loop_.isMainThread());
  confirm(
      ActivityTexts::disableAndDelete(),
      [this] {
        // No new events while the record is being destroyed.
        record_->stopCapture();
        onWork([](ActivityService& service) { return service.disableAndDestroy(); },
               [](ActivityController& self, ActivityServiceOutcome<ActivityDestroyCounts> outcome) {
                 self.model_.setLastResult(ActivityTexts::destroyResult(outcome));
                 self.model_.setDestroyFailed(!outcome.ok());
                 self.model_.setStored({});
                 self.refreshApps();
               });
      },
      [this] { publish(); });  // a switch bound to the status springs back
}

void ActivityController::setPaused(bool paused) {
  onWork([paused](ActivityService& service) { service.setPaused(paused); });
}

void ActivityController::setIncluded(const std::string& id, bool included) {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled) return;
  if (included) {
    if (auto category = ExclusionPolicy::category(id)) {
      model_.setLastResult(ActivityTexts::refusedInclude(*category));
      refreshApps();
      return;
    }
  }
  onWork(
      [id, included](ActivityService& service) {
        service.update([&](ActivitySettings& settings) {
          std::erase_if(settings.included, [&](const std::string& each) { return sameIgnoringCase(each, id); });
          if (included) settings.included.push_back(id);
        });
        return true;
      },
      [](ActivityController& self, bool) {
        self.refreshApps();
        self.refreshPermissions();
      });
}

void ActivityController::setRetentionDays(int64_t days) {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled) return;
  onWork(
      [days](ActivityService& service) {
        service.update([&](ActivitySettings& settings) { settings.retentionDays = ActivitySettings::clampRetention(days); });
        service.maintain();  // records beyond the new retention go now
        return true;
      },
      [](ActivityController& self, bool) { self.refreshStored(); });
}

void ActivityController::setBrowserDomains(bool on) {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled) return;
  onWork(
      [on](ActivityService& service) {
        service.update([&](ActivitySettings& settings) { settings.browserDomains = on; });
        return true;
      },
      [](ActivityController& self, bool) { self.refreshPermissions(); });
}

void ActivityController::clear(ClearRange range) {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled || snapshot().storeState != ActivityStoreState::ready) return;
  auto run = [this, range] {
    onWork([range](ActivityService& service) { return service.clear(range); },
           [range](ActivityController& self, ActivityServiceOutcome<ActivityClearCounts> outcome) {
             self.model_.setLastResult(ActivityTexts::clearResult(outcome, range));
             self.refreshStored();
           });
  };
  if (range == ClearRange::all) {
    confirm(ActivityTexts::clearAll(), run);
  } else {
    run();
  }
}

void ActivityController::confirmRebind() {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled || snapshot().storeState != ActivityStoreState::ready) return;
  confirm(ActivityTexts::rebind(), [this] {
    onWork([](ActivityService& service) { return service.rebindToCurrentAccount(); },
           [](ActivityController& self, ActivityServiceOutcome<ActivityClearCounts> outcome) {
             self.model_.setLastResult(ActivityTexts::rebindResult(outcome));
             self.refreshStored();
           });
  });
}

void ActivityController::keepForOriginalAccount() {
  onWork([](ActivityService& service) { service.keepForOriginalAccount(); });
}

void ActivityController::retryKeyAccess() {
  onWork([](ActivityService& service) { service.retryOpen(); });
}

void ActivityController::confirmResetAfterKeyLoss() {
  assert(loop_.isMainThread());
  const bool keyLost = snapshot().storeState == ActivityStoreState::keyMissing ||
                       snapshot().storeState == ActivityStoreState::keyLocked;
  if (!snapshot().settings.enabled || !keyLost) return;
  confirm(ActivityTexts::resetAfterKeyLoss(), [this] {
    onWork([](ActivityService& service) { return service.resetAfterKeyLoss(); },
           [](ActivityController& self, ActivityService::KeyLossReset outcome) {
             self.model_.setLastResult(ActivityTexts::resetResult(outcome));
             self.refreshStored();
           });
  });
}

void ActivityController::requestAccessibility() {
  if (auto platform = record_->platform()) platform->requestAccessibility();
}

void ActivityController::requestAutomation(const std::string& id) {
  auto platform = record_->platform();
  if (!platform) return;
  platform->requestAutomation(id, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->refreshPermissions();
  });
}

void ActivityController::addApp() {
  assert(loop_.isMainThread());
  if (!snapshot().settings.enabled || !options_.desktop) return;
  options_.desktop->chooseApplications(
      [self = shared_from_this()](std::optional<std::vector<ActivityUiDesktop::ChosenApp>> chosen) {
        if (!chosen) return;
        std::vector<std::string> accepted;
        std::vector<std::string> refused;
        for (const auto& app : *chosen) {
          if (!app.id || app.id->empty()) continue;
          if (text::lowercased(*app.id) == ExclusionPolicy::ownBundleId) continue;
          if (auto category = ExclusionPolicy::category(*app.id)) {
            refused.push_back(app.displayName + "（" + std::string(ExclusionPolicy::label(*category)) + "）");
          } else {
            accepted.push_back(*app.id);
          }
        }
        self->model_.setLastResult(ActivityTexts::addAppResult(refused));
        self->onWork(
            [accepted](ActivityService& service) {
              service.update([&](ActivitySettings& settings) {
                for (const std::string& id : accepted) {
                  const bool listed = std::any_of(settings.included.begin(), settings.included.end(),
                                                  [&](const std::string& each) { return sameIgnoringCase(each, id); });
                  if (!listed) settings.included.push_back(id);
                }
              });
              return true;
            },
            [](ActivityController& controller, bool) {
              controller.refreshApps();
              controller.refreshPermissions();
            });
      });
}

// ---- The settings window

void ActivityController::performSetting(const ActivitySettingsView::Control& control, bool on, int64_t value) {
  assert(loop_.isMainThread());
  using Action = ActivitySettingsView::Action;
  auto run = [self = shared_from_this(), action = control.action, argument = control.argument, on, value] {
    switch (action) {
      case Action::setEnabled: self->setEnabled(on); break;
      case Action::setPaused: self->setPaused(!self->snapshot().settings.paused); break;
      case Action::retryKeyAccess: self->retryKeyAccess(); break;
      case Action::resetAfterKeyLoss: self->confirmResetAfterKeyLoss(); break;
      case Action::rebind: self->confirmRebind(); break;
      case Action::keepForOriginal: self->keepForOriginalAccount(); break;
      case Action::requestAccessibility: self->requestAccessibility(); break;
      case Action::setIncluded: self->setIncluded(argument, on); break;
      case Action::addApp: self->addApp(); break;
      case Action::setBrowserDomains: self->setBrowserDomains(on); break;
      case Action::requestAutomation: self->requestAutomation(argument); break;
      case Action::setRetentionDays: self->setRetentionDays(value); break;
      case Action::clear:
        if (auto range = clearRangeFromRaw(argument)) self->clear(*range);
        break;
      case Action::deleteAll:
        if (self->model_.destroyFailed()) {
          self->confirmDisableAndDelete();
        } else {
          self->setEnabled(false);
        }
        break;
    }
  };
  if (control.deferred || control.kind == ActivitySettingsView::Control::Kind::toggle) {
    loop_.post(std::move(run));
  } else {
    run();
  }
}

void ActivityController::showSettings() {
  assert(loop_.isMainThread());
  if (options_.desktop) {
    options_.desktop->showSettingsWindow([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->settingsWindowClosed();
    });
  }
  refreshApps();
  refreshPermissions();
  refreshStored();
  schedulePoll();
}

void ActivityController::settingsWindowClosed() {
  assert(loop_.isMainThread());
  poll_.cancel();
}

void ActivityController::schedulePoll() {
  poll_ = loop_.postAfter(pollSeconds, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->refreshPermissions();
    self->schedulePoll();
  });
}

void ActivityController::refreshApps() {
  assert(loop_.isMainThread());
  std::vector<ActivityAppRows::Running> running;
  ActivityAppRows::Sources sources;
  if (auto platform = record_->platform()) {
    running = platform->runningApplications();
    sources.installedName = [platform](const std::string& id) { return platform->installedName(id); };
    sources.supportsDomain = [platform](const std::string& id) { return platform->supportsDomain(id); };
  }
  model_.setApps(ActivityAppRows::build(running, snapshot().settings.included, sources));
}

void ActivityController::refreshPermissions() {
  assert(loop_.isMainThread());
  std::vector<std::string> browsers;
  if (const auto& platform = record_->platform()) {
    for (const std::string& id : snapshot().settings.included) {
      if (platform->supportsDomain(id) && !ExclusionPolicy::category(id)) browsers.push_back(id);
    }
  }
  if (snapshot().settings.browserDomains && !browsers.empty()) {
    // Probes may block; they run on the work queue after what is queued, never on the main loop.
    std::weak_ptr<ActivityCapturePlatform> platform = record_->platform();
    onWork(
        [browsers, platform](ActivityService&) {
          std::map<std::string, ActivityAutomation> found;
          auto alive = platform.lock();
          for (const std::string& id : browsers) {
            found[id] = alive ? automationFromStatus(alive->automationStatus(id)) : ActivityAutomation::unknown;
          }
          return found;
        },
        [](ActivityController& self, std::map<std::string, ActivityAutomation> found) {
          self.model_.setAutomation(std::move(found));
        });
  } else {
    model_.setAutomation({});
  }
  publish();
}

}  // namespace tovarin
