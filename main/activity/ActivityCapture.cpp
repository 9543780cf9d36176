#include "main/activity/ActivityCapture.h"

#include <cassert>
#include <chrono>
#include <cmath>

#include "main/activity/BrowserScripts.h"

namespace tovarin {
namespace {

double secondsSince1970() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::optional<ActivityApp> activityApp(const std::optional<RunningApplication>& app) {
  if (!app || !app->bundleId) return std::nullopt;
  return ActivityApp{*app->bundleId, app->localizedName.value_or(*app->bundleId)};
}

}  // namespace

std::shared_ptr<ActivityCapture> ActivityCapture::create(MainLoop& loop, Platform platform, Policy policy, Sink sink,
                                                         WallClock wallClock) {
  return std::shared_ptr<ActivityCapture>(
      new ActivityCapture(loop, std::move(platform), std::move(policy), std::move(sink), std::move(wallClock)));
}

ActivityCapture::ActivityCapture(MainLoop& loop, Platform platform, Policy policy, Sink sink, WallClock wallClock)
    : loop_(loop),
      platform_(std::move(platform)),
      sink_(std::move(sink)),
      wallClock_(wallClock ? std::move(wallClock) : WallClock(secondsSince1970)),
      policy_(std::move(policy)),
      readState_(std::make_shared<ReadState>(ReadState{platform_.desktop, platform_.automation, {}})) {
  assert(loop_.isMainThread());
}

// The controller keeps the capture for the whole program; a capture released while
// running leaves nothing behind either, since observers hold it weakly and are removed.
ActivityCapture::~ActivityCapture() {
  for (const auto& [center, token] : tokens_) center->removeObserver(token);
}

const ActivityCapture::Policy& ActivityCapture::policy() const {
  assert(loop_.isMainThread());
  return policy_;
}

void ActivityCapture::setPolicy(Policy policy) {
  assert(loop_.isMainThread());
  policy_ = std::move(policy);
}

bool ActivityCapture::isRunning() const {
  assert(loop_.isMainThread());
  return running_;
}

void ActivityCapture::emit(const ActivityEvent& event) {
  if (sink_) sink_(event);
}

void ActivityCapture::start() {
  assert(loop_.isMainThread());
  if (running_) return;
  const double now = wallClock_();
  // No suspension from an earlier run may stay in force.
  for (SuspendReason reason : {SuspendReason::idle, SuspendReason::locked, SuspendReason::asleep, SuspendReason::noAccess}) {
    emit(ActivityEvent::resume(reason, now));
  }
  idle_ = false;
  trusted_.reset();
  lastSample_.reset();

  auto& workspace = *platform_.workspace;
  observe(workspace, WorkspaceNotification::applicationActivated,
          [](ActivityCapture& self, const WorkspaceNote& note) { self.frontmostChanged(note.application); });
  const std::pair<WorkspaceNotification, std::pair<bool, SuspendReason>> changes[] = {
      {WorkspaceNotification::willSleep, {true, SuspendReason::asleep}},
      {WorkspaceNotification::didWake, {false, SuspendReason::asleep}},
      {WorkspaceNotification::sessionResignedActive, {true, SuspendReason::locked}},
      {WorkspaceNotification::sessionBecameActive, {false, SuspendReason::locked}},
  };
  for (const auto& [name, change] : changes) {
    const auto [suspends, reason] = change;
    observe(workspace, name, [suspends, reason](ActivityCapture& self, const WorkspaceNote&) {
      const double at = self.wallClock_();
      self.emit(suspends ? ActivityEvent::suspend(reason, at) : ActivityEvent::resume(reason, at));
    });
  }
  auto& distributed = *platform_.distributed;
  observe(distributed, WorkspaceNotification::screenLocked, [](ActivityCapture& self, const WorkspaceNote&) {
    self.emit(ActivityEvent::suspend(SuspendReason::locked, self.wallClock_()));
  });
  observe(distributed, WorkspaceNotification::screenUnlocked, [](ActivityCapture& self, const WorkspaceNote&) {
    self.emit(ActivityEvent::resume(SuspendReason::locked, self.wallClock_()));
  });

  running_ = true;
  scheduleSample();
  frontmostChanged(platform_.desktop->frontmostApplication());
}

void ActivityCapture::stop() {
  assert(loop_.isMainThread());
  for (const auto& [center, token] : tokens_) center->removeObserver(token);
  tokens_.clear();
  sampler_.cancel();
  running_ = false;
  lastSample_.reset();
}

void ActivityCapture::observe(ActivityNotificationCenter& center, WorkspaceNotification name,
                              std::function<void(ActivityCapture&, const WorkspaceNote&)> handler) {
  const auto token = center.addObserver(
      name, [weak = weak_from_this(), handler = std::move(handler)](const WorkspaceNote& note) {
        if (auto self = weak.lock()) handler(*self, note);
      });
  tokens_.emplace_back(&center, token);
}

void ActivityCapture::scheduleSample() {
  // Re-armed at each firing, which keeps the 3 s cadence without a repeating timer.
  sampler_ = loop_.postAfter(sampleInterval, [weak = weak_from_this()] {
    if (auto self = weak.lock()) {
      self->scheduleSample();
      self->sample();
    }
  });
}

void ActivityCapture::frontmostChanged(const std::optional<RunningApplication>& app) {
  // So that coming back to the same window emits its title again.
  lastSample_.reset();
  emit(ActivityEvent::frontmost(activityApp(app), wallClock_()));
  sample();
}

void ActivityCapture::sample() {
  if (!running_) return;
  const double now = wallClock_();
  const bool trusted = platform_.desktop->accessibilityTrusted();
  if (trusted_ != trusted) {
    trusted_ = trusted;
    emit(trusted ? ActivityEvent::resume(SuspendReason::noAccess, now)
                 : ActivityEvent::suspend(SuspendReason::noAccess, now));
  }

  // A reading that is not a number says nothing about absence: it counts as active.
  const double idleSeconds = platform_.desktop->secondsSinceLastInput();
  const double lastInput = now - idleSeconds;
  if (policy_.idleThreshold <= idleSeconds) {
    if (!idle_) {
      idle_ = true;
      emit(ActivityEvent::suspend(SuspendReason::idle, lastInput));
    }
    return;
  }
  if (idle_) {
    idle_ = false;
    lastSample_.reset();
    emit(ActivityEvent::resume(SuspendReason::idle, std::isfinite(lastInput) ? lastInput : now));
  }

  if (!trusted || reading_) return;
  const std::optional<RunningApplication> app = platform_.desktop->frontmostApplication();
  if (!app || !app->bundleId) return;
  const std::string bundle = *app->bundleId;
  if (!policy_.shouldReadTitle || !policy_.shouldReadTitle(bundle)) return;
  const bool readDomain = policy_.shouldReadDomain && policy_.shouldReadDomain(bundle);
  reading_ = true;
  readQueue_.async([weak = weak_from_this(), state = readState_, app = *app, readDomain, bundle, now, &loop = loop_] {
    std::optional<std::string> title = state->desktop->focusedWindowTitle(app);
    std::optional<BrowserContextCache::Value> context;
    if (readDomain && !weak.expired()) context = browserContext(*state, bundle, title.value_or(""), now);
    loop.post([weak, bundle, title = std::move(title), context = std::move(context)]() mutable {
      if (auto self = weak.lock()) self->deliver(bundle, std::move(title), std::move(context));
    });
  });
}

void ActivityCapture::deliver(const std::string& bundle, std::optional<std::string> title,
                              std::optional<BrowserContextCache::Value> context) {
  assert(loop_.isMainThread());
  reading_ = false;
  if (!running_) return;
  const std::optional<RunningApplication> front = platform_.desktop->frontmostApplication();
  if (!front || front->bundleId != bundle) return;
  TitleSample next{bundle, std::move(title), context ? context->domain : std::nullopt,
                   context ? context->incognito : false};
  if (lastSample_ == next) return;
  lastSample_ = next;
  emit(ActivityEvent::title(next.title, next.domain, next.incognito, wallClock_()));
}

std::optional<BrowserContextCache::Value> ActivityCapture::browserContext(ReadState& state, const std::string& bundle,
                                                                          const std::string& title, double at) {
  if (auto cached = state.domainCache.lookup(bundle, title, at)) return cached;
  const std::optional<BrowserScripts::Browser> browser = BrowserScripts::scriptable(bundle);
  if (!browser || !state.automation->available() ||
      state.automation->automationStatus(browser->id, false) != BrowserAutomation::allowed) {
    state.domainCache.store(bundle, title, at, std::nullopt, false);
    return std::nullopt;
  }
  const std::optional<std::string> output = state.automation->runScript(BrowserScripts::source(*browser), scriptTimeout);
  if (!output) {
    state.domainCache.store(bundle, title, at, std::nullopt, false);
    return std::nullopt;
  }
  BrowserContextCache::Value context = BrowserScripts::parseOutput(browser->kind, *output);
  state.domainCache.store(bundle, title, at, context.domain, context.incognito);
  return context;
}

bool ActivityCapture::supportsDomain(const std::string& bundleId) const {
  return platform_.automation->available() && BrowserScripts::scriptable(bundleId).has_value();
}

std::int32_t ActivityCapture::automationStatus(const std::string& bundleId, bool ask) const {
  const std::optional<BrowserScripts::Browser> browser = BrowserScripts::scriptable(bundleId);
  if (!browser || !platform_.automation->available()) return BrowserAutomation::notRunningOrUnsupported;
  return platform_.automation->automationStatus(browser->id, ask);
}

void ActivityCapture::requestAutomation(const std::string& bundleId, std::function<void(std::int32_t)> completion) {
  assert(loop_.isMainThread());
  if (!automationQueue_) automationQueue_ = std::make_unique<SerialQueue>("com.orvik.thetovarin.activity.automation");
  automationQueue_->async([weak = weak_from_this(), automation = platform_.automation, bundleId, &loop = loop_,
                           completion = std::move(completion)]() mutable {
    const std::optional<BrowserScripts::Browser> browser = BrowserScripts::scriptable(bundleId);
    const std::int32_t status = browser && automation->available() ? automation->automationStatus(browser->id, true)
                                                                   : BrowserAutomation::notRunningOrUnsupported;
    loop.post([weak, status, completion = std::move(completion)] {
      if (weak.lock() && completion) completion(status);
    });
  });
}

void ActivityCapture::requestAccessibility() {
  assert(loop_.isMainThread());
  platform_.desktop->requestAccessibility();
}

}  // namespace tovarin
