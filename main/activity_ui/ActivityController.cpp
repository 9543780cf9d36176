#include "main/activity_ui/ActivityController.h"

#include <algorithm>
#include <cstring>
#include <cassert>
#include <map>
#include <utility>

#include "base/Json.h"
#include "base/Log.h"
#include "base/RandomUuid.h"
#include "base/Text.h"
#include "main/activity/ActivityBridgeEnvironment.h"
#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityPeer.h"
#include "main/activity/ActivityStore.h"
#include "main/activity_core/ExclusionPolicy.h"
#include "main/activity_ui/ActivityAppRows.h"

namespace tovarin {
namespace {

ActivitySettings loadSettings(const UserDefaults& defaults) {
  const std::optional<std::string> stored = defaults.string(ActivityController::settingsKey);
  if (!stored) return ActivitySettings();
  const std::optional<Json> json = parseJson(*stored);
  if (!json) return ActivitySettings();
  return ActivitySettings::fromJson(*json).value_or(ActivitySettings());
}

std::string describeStartError(const ActivityBridgeStartError& failure) {
  std::string what;
  switch (failure.kind) {
    case ActivityBridgeStartError::Kind::socket: what = "socket"; break;
    case ActivityBridgeStartError::Kind::bind: what = "bind"; break;
    case ActivityBridgeStartError::Kind::listen: what = "listen"; break;
    case ActivityBridgeStartError::Kind::pathTooLong: return "socket path too long";
  }
  return what + ": " + std::strerror(failure.error);
}

bool sameIgnoringCase(const std::string& left, const std::string& right) {
  return text::lowercased(left) == text::lowercased(right);
}

}  // namespace

std::shared_ptr<ActivityController> ActivityController::create(MainLoop& loop, UserDefaults& defaults,
                                                               Options options) {
  auto controller = std::make_shared<ActivityController>(CreateKey{}, loop, defaults, std::move(options));
  controller->wireService();
  return controller;
}

ActivityController::ActivityController(CreateKey, MainLoop& loop, UserDefaults& defaults, Options options)
    : loop_(loop), defaults_(defaults), options_(std::move(options)) {
  auto store = std::make_shared<ActivityStore>(options_.directory, options_.keyStore);
  trusted_->store(options_.desktop && options_.desktop->accessibilityTrusted());
  service_ = std::make_shared<ActivityService>(
      std::move(store), loadSettings(defaults_), [] { return "iv_" + text::lowercased(randomUuid()); },
      [trusted = trusted_] { return trusted->load(); },
      options_.now, ActivityService::localCalendar,
      // The defaults are thread-safe; the service persists on its own queue.
      [&defaults = defaults_](const ActivitySettings& settings) {
        if (settings == ActivitySettings()) {
          defaults.remove(settingsKey);
        } else {
          defaults.setString(settingsKey, toJsonText(settings.toJson()));
        }
      });
  snapshot_ = service_->snapshot();
}

ActivityController::~ActivityController() = default;

void ActivityController::wireService() {
  service_->setOnChange([weak = weak_from_this(), &loop = loop_](const ActivityService::Snapshot& snapshot) {
    loop.post([weak, snapshot] {
      if (auto self = weak.lock()) self->apply(snapshot);
    });
  });
}

// ---- Launch and exit

void ActivityController::bootstrap() {
  assert(loop_.isMainThread());
  if (bootstrapped_) return;
  bootstrapped_ = true;
  startBridge();
  if (options_.desktop) {
    capture_ = options_.desktop->makeCapture(capturePolicy(snapshot_.settings),
                                             [weak = weak_from_this()](const ActivityEvent& event) {
                                               if (auto self = weak.lock()) self->ingest(event);
                                             });
  }
  scheduleMaintenance();
  if (!snapshot_.settings.enabled) {
    publish();
    return;
  }
  opening_ = true;
  publish();
  // Holds the controller: the launch open must land even if nobody else keeps it.
  work_.async([self = shared_from_this()] {
    self->service_->start();
    self->service_->maintain();
    ActivityService::Snapshot opened = self->service_->snapshot();
    self->loop_.post([self, opened] {
      self->opening_ = false;
      self->apply(opened);
      self->refreshStored();
    });
  });
}

void ActivityController::startBridge() {
  const std::string bridgeToken = ActivityBridgeProtocol::makeToken();
  const std::string pageToken = ActivityBridgeProtocol::makeToken();
  const std::string path = options_.socketPath.empty() ? ActivityBridgeEnvironment::socketPath() : options_.socketPath;
  ActivityBridgeServer::AllowPeer allow = options_.allowPeer ? options_.allowPeer : ActivityPeer::isChildOfCurrentProcess;
  // The handler holds the service, not the controller.
  auto server = std::make_unique<ActivityBridgeServer>(
      path, bridgeToken, std::move(allow),
      [service = service_](const ActivityBridgeRequest& request) { return service->handle(request); });
  if (auto failure = server->start()) {
    if (options_.serverEnvironment) ActivityBridgeEnvironment::clear(*options_.serverEnvironment);
    log("activity bridge unavailable: " + describeStartError(*failure));
    return;
  }
  bridge_ = std::move(server);
  if (options_.serverEnvironment) {
    ActivityBridgeEnvironment::exportTo(*options_.serverEnvironment, bridge_->socketPath(), bridgeToken, pageToken);
  }
  if (options_.desktop) {
    for (const char* host : {"127.0.0.1", "localhost"}) {
      options_.desktop->setPageCookie(host, cookieName, pageToken, cookiePath);
    }
  }
}

void ActivityController::scheduleMaintenance() {
  maintenance_ = loop_.postAfter(maintenanceSeconds, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->shutDown_) return;
    self->onWork([](ActivityService& service) { service.maintain(); });
    self->scheduleMaintenance();
  });
}

void ActivityController::shutdown() {
  assert(loop_.isMainThread());
  shutDown_ = true;
  if (capture_) capture_->stop();
  maintenance_.cancel();
  work_.sync([service = service_] { service->shutdown(); });
  if (bridge_) {
    bridge_->stop();
    bridge_.reset();
  }
  if (options_.serverEnvironment) ActivityBridgeEnvironment::clear(*options_.serverEnvironment);
}

// ---- Snapshots and status

void ActivityController::apply(const ActivityService::Snapshot& snapshot) {
  assert(loop_.isMainThread());
  snapshot_ = snapshot;
  if (capture_) {
    capture_->setPolicy(capturePolicy(snapshot_.settings));
    if (snapshot_.capturing && !shutDown_) {
      if (!capture_->isRunning()) capture_->start();
    } else if (capture_->isRunning()) {
      capture_->stop();
    }
  }
  publish();
}

void ActivityController::publish() {
  assert(loop_.isMainThread());
  const bool trusted = options_.desktop && options_.desktop->accessibilityTrusted();
  trusted_->store(trusted);
  status_ = ActivityStatus::derive(snapshot_, opening_, frontName_, trusted);
  model_.setSettings(snapshot_.settings);
  model_.setStatus(status_);
  model_.setAccessibilityTrusted(trusted);
  if (onPublish_) onPublish_();
}

void ActivityController::ingest(const ActivityEvent& event) {
  assert(loop_.isMainThread());
  const auto& payload = event.payload();
  if (const auto* front = std::get_if<ActivityEvent::Frontmost>(&payload)) {
    const bool recorded =
        front->app && ExclusionPolicy::decide(front->app->bundleId, snapshot_.settings) == CaptureDecision::record();
    frontName_ = recorded ? std::optional<std::string>(front->app->name) : std::nullopt;
    publish();
  } else if (const auto* suspend = std::get_if<ActivityEvent::Suspend>(&payload)) {
    if (suspend->reason == SuspendReason::noAccess) publish();
  } else if (const auto* resume = std::get_if<ActivityEvent::Resume>(&payload)) {
    if (resume->reason == SuspendReason::noAccess) publish();
  }
  onWork([event](ActivityService& service) { service.record(event); });
}

ActivityCapture::Policy ActivityController::capturePolicy(const ActivitySettings& settings) const {
  ActivityCapture::Policy policy;
  policy.shouldReadTitle = [settings](const std::string& id) {
    return ExclusionPolicy::decide(id, settings) == CaptureDecision::record();
  };
  std::weak_ptr<ActivityControllerDesktop> desktop = options_.desktop;
  policy.shouldReadDomain = [settings, desktop](const std::string& id) {
    if (!settings.browserDomains) return false;
    auto alive = desktop.lock();
    if (!alive || !alive->supportsDomain(id)) return false;
    return ExclusionPolicy::decide(id, settings) == CaptureDecision::record();
  };
  policy.idleThreshold = static_cast<double>(settings.idleMinutes) * 60.0;
  return policy;
}

void ActivityController::refreshStored() {
  assert(loop_.isMainThread());
  if (!snapshot_.settings.enabled || snapshot_.ownership != ActivityOwnership::matched) {
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
  return ActivitySubmenu::build(status_, snapshot_);
}

void ActivityController::performSubmenu(ActivitySubmenu::Action action, std::optional<ClearRange> range) {
  assert(loop_.isMainThread());
  switch (action) {
    case ActivitySubmenu::Action::togglePause: setPaused(!snapshot_.settings.paused); break;
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
  // The blocks hold the controller: an action's result must land.
  work_.async([self = shared_from_this(), call = std::move(call), done = std::move(done)]() mutable {
    auto result = call(*self->service_);
    self->loop_.post([self, done = std::move(done), result = std::move(result)]() mutable {
      done(*self, std::move(result));
    });
  });
}

void ActivityController::onWork(std::function<void(ActivityService&)> call) {
  work_.async([service = service_, call = std::move(call)] { call(*service); });
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
    if (snapshot_.settings.enabled) confirmDisableAndDelete();
    return;
  }
  if (snapshot_.settings.enabled) {
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
        self.apply(result.second);
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
        if (capture_) capture_->stop();
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
  if (!snapshot_.settings.enabled) return;
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
  if (!snapshot_.settings.enabled) return;
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
  if (!snapshot_.settings.enabled) return;
  onWork(
      [on](ActivityService& service) {
        service.update([&](ActivitySettings& settings) { settings.browserDomains = on; });
        return true;
      },
      [](ActivityController& self, bool) { self.refreshPermissions(); });
}

void ActivityController::clear(ClearRange range) {
  assert(loop_.isMainThread());
  if (!snapshot_.settings.enabled || snapshot_.storeState != ActivityStoreState::ready) return;
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
  if (!snapshot_.settings.enabled || snapshot_.storeState != ActivityStoreState::ready) return;
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
  const bool keyLost = snapshot_.storeState == ActivityStoreState::keyMissing ||
                       snapshot_.storeState == ActivityStoreState::keyLocked;
  if (!snapshot_.settings.enabled || !keyLost) return;
  confirm(ActivityTexts::resetAfterKeyLoss(), [this] {
    onWork([](ActivityService& service) { return service.resetAfterKeyLoss(); },
           [](ActivityController& self, ActivityService::KeyLossReset outcome) {
             self.model_.setLastResult(ActivityTexts::resetResult(outcome));
             self.refreshStored();
           });
  });
}

void ActivityController::requestAccessibility() {
  if (options_.desktop) options_.desktop->requestAccessibility();
}

void ActivityController::requestAutomation(const std::string& id) {
  if (!options_.desktop) return;
  options_.desktop->requestAutomation(id, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->refreshPermissions();
  });
}

void ActivityController::addApp() {
  assert(loop_.isMainThread());
  if (!snapshot_.settings.enabled || !options_.desktop) return;
  options_.desktop->chooseApplications(
      [self = shared_from_this()](std::optional<std::vector<ActivityControllerDesktop::ChosenApp>> chosen) {
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
      case Action::setPaused: self->setPaused(!self->snapshot_.settings.paused); break;
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
  if (auto desktop = options_.desktop) {
    running = desktop->runningApplications();
    sources.installedName = [desktop](const std::string& id) { return desktop->installedName(id); };
    sources.supportsDomain = [desktop](const std::string& id) { return desktop->supportsDomain(id); };
  }
  model_.setApps(ActivityAppRows::build(running, snapshot_.settings.included, sources));
}

void ActivityController::refreshPermissions() {
  assert(loop_.isMainThread());
  std::vector<std::string> browsers;
  if (options_.desktop) {
    for (const std::string& id : snapshot_.settings.included) {
      if (options_.desktop->supportsDomain(id) && !ExclusionPolicy::category(id)) browsers.push_back(id);
    }
  }
  if (snapshot_.settings.browserDomains && !browsers.empty()) {
    // Probes may block; they run on work_ after what is queued, never on the main loop.
    std::weak_ptr<ActivityControllerDesktop> desktop = options_.desktop;
    onWork(
        [browsers, desktop](ActivityService&) {
          std::map<std::string, ActivityAutomation> found;
          auto alive = desktop.lock();
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
