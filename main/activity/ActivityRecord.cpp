#include "main/activity/ActivityRecord.h"

#include <cassert>
#include <cstring>
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

namespace tovarin {
namespace {

ActivitySettings loadSettings(const UserDefaults& defaults) {
  const std::optional<std::string> stored = defaults.string(ActivityRecord::settingsKey);
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

}  // namespace

std::shared_ptr<ActivityRecord> ActivityRecord::create(MainLoop& loop, UserDefaults& defaults, Options options) {
  auto record = std::make_shared<ActivityRecord>(CreateKey{}, loop, defaults, std::move(options));
  record->wireService();
  return record;
}

ActivityRecord::ActivityRecord(CreateKey, MainLoop& loop, UserDefaults& defaults, Options options)
    : loop_(loop), defaults_(defaults), options_(std::move(options)) {
  auto store = std::make_shared<ActivityStore>(options_.directory, options_.keyStore);
  trusted_->store(options_.platform && options_.platform->accessibilityTrusted());
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

ActivityRecord::~ActivityRecord() = default;

void ActivityRecord::wireService() {
  service_->setOnChange([weak = weak_from_this(), &loop = loop_](const ActivityService::Snapshot& snapshot) {
    loop.post([weak, snapshot] {
      if (auto self = weak.lock()) self->apply(snapshot);
    });
  });
}

// ---- Launch and exit

void ActivityRecord::start() {
  assert(loop_.isMainThread());
  if (started_) return;
  started_ = true;
  startBridge();
  if (options_.platform) {
    capture_ = options_.platform->makeCapture(capturePolicy(snapshot_.settings),
                                              [weak = weak_from_this()](const ActivityEvent& event) {
                                                if (auto self = weak.lock()) self->ingest(event);
                                              });
  }
  scheduleMaintenance();
}

void ActivityRecord::openAtLaunch(OnSnapshot opened) {
  assert(loop_.isMainThread());
  // Holds the record: the launch open must land even if nobody else keeps it.
  work_.async([self = shared_from_this(), opened = std::move(opened)] {
    self->service_->start();
    self->service_->maintain();
    ActivityService::Snapshot snapshot = self->service_->snapshot();
    self->loop_.post([opened, snapshot] { opened(snapshot); });
  });
}

void ActivityRecord::startBridge() {
  const std::string bridgeToken = ActivityBridgeProtocol::makeToken();
  const std::string pageToken = ActivityBridgeProtocol::makeToken();
  const std::string path = options_.socketPath.empty() ? ActivityBridgeEnvironment::socketPath() : options_.socketPath;
  ActivityBridgeServer::AllowPeer allow = options_.allowPeer ? options_.allowPeer : ActivityPeer::isChildOfCurrentProcess;
  // The handler holds the service, not the record.
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
  if (options_.setPageCookie) {
    for (const char* host : {"127.0.0.1", "localhost"}) options_.setPageCookie(host, cookieName, pageToken, cookiePath);
  }
}

void ActivityRecord::scheduleMaintenance() {
  maintenance_ = loop_.postAfter(maintenanceSeconds, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || self->shutDown_) return;
    self->onWork([](ActivityService& service) { service.maintain(); });
    self->scheduleMaintenance();
  });
}

void ActivityRecord::shutdown() {
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

// ---- Capture

void ActivityRecord::apply(const ActivityService::Snapshot& snapshot) {
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
  if (onApplied_) onApplied_();
}

void ActivityRecord::stopCapture() {
  assert(loop_.isMainThread());
  if (capture_) capture_->stop();
}

bool ActivityRecord::refreshTrust() {
  assert(loop_.isMainThread());
  const bool trusted = options_.platform && options_.platform->accessibilityTrusted();
  trusted_->store(trusted);
  return trusted;
}

void ActivityRecord::ingest(const ActivityEvent& event) {
  assert(loop_.isMainThread());
  if (onEvent_) onEvent_(event);
  onWork([event](ActivityService& service) { service.record(event); });
}

ActivityCapture::Policy ActivityRecord::capturePolicy(const ActivitySettings& settings) const {
  ActivityCapture::Policy policy;
  policy.shouldReadTitle = [settings](const std::string& id) {
    return ExclusionPolicy::decide(id, settings) == CaptureDecision::record();
  };
  std::weak_ptr<ActivityCapturePlatform> platform = options_.platform;
  policy.shouldReadDomain = [settings, platform](const std::string& id) {
    if (!settings.browserDomains) return false;
    auto alive = platform.lock();
    if (!alive || !alive->supportsDomain(id)) return false;
    return ExclusionPolicy::decide(id, settings) == CaptureDecision::record();
  };
  policy.idleThreshold = static_cast<double>(settings.idleMinutes) * 60.0;
  return policy;
}

// ---- Work

void ActivityRecord::onWork(std::function<void(ActivityService&)> call) {
  work_.async([service = service_, call = std::move(call)] { call(*service); });
}

}  // namespace tovarin
