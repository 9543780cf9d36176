#include "main/windows/StickySettingsRoundTrip.h"

#include <cassert>
#include <charconv>
#include <chrono>

#include "base/Json.h"
#include "base/Log.h"
#include "main/windows/StickyLevel.h"
#include "main/windows/StickySpaceScope.h"
#include "main/windows/StickyWindowController.h"

namespace tovarin {
namespace {

double wallClockMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

// Shortest fixed notation that reads back as the same double: never an exponent, which
// the page would still parse but which reads badly in a log.
std::string decimal(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

}  // namespace

std::shared_ptr<StickySettingsRoundTrip> StickySettingsRoundTrip::create(std::string dataUrl, Services services,
                                                                         std::weak_ptr<StickyWindowController> window) {
  return std::make_shared<StickySettingsRoundTrip>(CreateKey{}, std::move(dataUrl), std::move(services),
                                                   std::move(window));
}

StickySettingsRoundTrip::StickySettingsRoundTrip(CreateKey, std::string dataUrl, Services services,
                                                 std::weak_ptr<StickyWindowController> window)
    : dataUrl_(std::move(dataUrl)),
      loop_(services.loop),
      parseQueue_(services.parseQueue),
      http_(std::move(services.http)),
      presenter_(std::move(services.presenter)),
      window_(std::move(window)) {}

bool StickySettingsRoundTrip::isKnownSetting(const std::string& key, const std::string& value) {
  if (key == floatingWindowKey) return value == "true" || value == "false";
  if (key == levelKey) return stickyLevelFromName(value).has_value();
  if (key == spaceScopeKey) return stickySpaceScopeFromName(value).has_value();
  return false;
}

// Starting a change ---------------------------------------------------------------------------

void StickySettingsRoundTrip::settingChanged(const std::string& key, const std::string& value,
                                             const std::string& fallback) {
  assert(loop_.isMainThread());
  // The value is written into a script as it stands: only our own setting names may go there.
  if (!isKnownSetting(key, value) || !isKnownSetting(key, fallback)) {
    log("sticky settings: refused unknown setting " + key + "=" + value);
    return;
  }
  const auto intent = state_.begin(key, value, fallback);
  const double expiresAtMs = wallClockMs() + confirmationTimeout * 1000;
  KeyTimers& timers = timers_[key];
  timers = KeyTimers{};
  timers.rollback = loop_.postAfter(confirmationTimeout, [weak = weak_from_this(), intent] {
    if (auto self = weak.lock()) self->settingFailed(intent);
  });
  dispatchSetting(intent, expiresAtMs);
}

std::string StickySettingsRoundTrip::dispatchScript(const StickySettingsState::Intent& intent, double expiresAtMs) {
  const std::string value = intent.key == floatingWindowKey ? intent.value : "'" + intent.value + "'";
  const std::string generation = std::to_string(intent.generation);
  return "(() => {\n"
         "  if (Date.now() >= " + decimal(expiresAtMs) + ") return false;\n"
         "  const ctx = window.__widget && window.__widget.ctx;\n"
         "  if (!ctx) return false;\n"
         "  const generations = window.__stickySettingGenerations || (window.__stickySettingGenerations = {});\n"
         "  if ((generations['" + intent.key + "'] || 0) > " + generation + ") return false;\n"
         "  generations['" + intent.key + "'] = " + generation + ";\n"
         "  ctx.dispatch(ctx.actions.patchSettings({ " + intent.key + ": " + value + " }));\n"
         "  return true;\n"
         "})()";
}

void StickySettingsRoundTrip::dispatchSetting(const StickySettingsState::Intent& intent, double expiresAtMs) {
  assert(loop_.isMainThread());
  if (!state_.needsDispatch(intent)) return;
  auto window = window_.lock();
  if (!window) return;
  window->webView()->evaluate(dispatchScript(intent, expiresAtMs),
                              [weak = weak_from_this(), intent, expiresAtMs](ScriptValue result) {
                                if (auto self = weak.lock()) self->pageAnswered(intent, expiresAtMs, result.isTrue());
                              });
}

void StickySettingsRoundTrip::pageAnswered(const StickySettingsState::Intent& intent, double expiresAtMs,
                                           bool accepted) {
  assert(loop_.isMainThread());
  if (!state_.needsDispatch(intent)) return;
  KeyTimers& timers = timers_[intent.key];
  if (!accepted) {
    // Not ready, expired or outdated: try again until the change is confirmed or fails.
    timers.resend = loop_.postAfter(resendInterval, [weak = weak_from_this(), intent, expiresAtMs] {
      if (auto self = weak.lock()) self->dispatchSetting(intent, expiresAtMs);
    });
    return;
  }
  state_.didDispatch(intent);
  syncFromServer();
  // The store writes to the server at its own pace: look again a few times.
  for (double delay : readBackDelays) {
    timers.readBacks.push_back(loop_.postAfter(delay, [weak = weak_from_this(), intent] {
      auto self = weak.lock();
      if (self && self->state_.isCurrent(intent)) self->syncFromServer();
    }));
  }
}

// Failure ---------------------------------------------------------------------------------------

void StickySettingsRoundTrip::settingFailed(const StickySettingsState::Intent& intent) {
  assert(loop_.isMainThread());
  const auto rollback = state_.fail(intent);
  if (!rollback) return;
  timers_.erase(intent.key);
  applySettings({{intent.key, *rollback}});
  reportFailure();
}

void StickySettingsRoundTrip::reportFailure() {
  if (onSettingFailure) {
    onSettingFailure(std::string(failureText));
    return;
  }
  // One alert at a time: later failures while it shows only roll back.
  if (failureVisible_ || !presenter_) return;
  failureVisible_ = true;
  AlertPanel alert;
  alert.messageText = failureTitle;
  alert.informativeText = failureText;
  alert.buttons = {std::string(openSettingsButton), std::string(laterButton)};
  // Not tied to the sticky window, which the rollback may just have hidden.
  presenter_->runAlert(std::move(alert), nullptr, [weak = weak_from_this()](AlertResult result) {
    auto self = weak.lock();
    if (!self) return;
    self->failureVisible_ = false;
    if (!result.isFirstButton()) return;
    auto window = self->window_.lock();
    if (window && window->onNavigate) window->onNavigate({{"panel", "settings"}});
  });
}

// Reading back --------------------------------------------------------------------------------

void StickySettingsRoundTrip::syncFromServer() {
  assert(loop_.isMainThread());
  if (readInFlight_) {
    readRequested_ = true;
    return;
  }
  readInFlight_ = true;
  const auto read = state_.beginRead();
  HttpRequest request;
  request.url = dataUrl_;
  request.timeoutSeconds = readTimeout;
  http_->send(std::move(request), parseQueue_,
              [weak = weak_from_this(), &loop = loop_, read](HttpResponse response) {
                // Parsed here, off the main loop; only the values travel back.
                auto values = parseServerSettings(response);
                loop.post([weak, read, values = std::move(values)] {
                  if (auto self = weak.lock()) self->readFinished(read, values);
                });
              });
}

std::optional<StickySettingsRoundTrip::Values> StickySettingsRoundTrip::parseServerSettings(
    const HttpResponse& response) {
  if (!response.responded || response.status != 200 || response.body.empty()) return std::nullopt;
  const auto document = parseJson(response.body);
  if (!document || !document->is_object()) return std::nullopt;
  const auto data = document->find("data");
  if (data == document->end() || !data->is_object()) return std::nullopt;
  const auto settings = data->find("settings");
  if (settings == data->end() || !settings->is_object()) return std::nullopt;

  Values values;
  // Shown unless the server says otherwise.
  values[std::string(floatingWindowKey)] = jsonBool(*settings, floatingWindowKey).value_or(true) ? "true" : "false";
  if (const auto level = jsonString(*settings, levelKey); level && stickyLevelFromName(*level)) {
    values[std::string(levelKey)] = *level;
  }
  if (const auto scope = jsonString(*settings, spaceScopeKey); scope && stickySpaceScopeFromName(*scope)) {
    values[std::string(spaceScopeKey)] = *scope;
  }
  return values;
}

void StickySettingsRoundTrip::readFinished(const StickySettingsState::Read& read,
                                           const std::optional<Values>& values) {
  assert(loop_.isMainThread());
  readInFlight_ = false;
  if (values) applySettings(state_.receive(*values, read));
  if (std::exchange(readRequested_, false)) syncFromServer();
}

// Applying ------------------------------------------------------------------------------------

void StickySettingsRoundTrip::applySettings(const Values& values) {
  assert(loop_.isMainThread());
  auto window = window_.lock();
  if (!window || values.empty()) return;
  if (const auto entry = values.find(std::string(levelKey)); entry != values.end()) {
    const auto level = stickyLevelFromName(entry->second);
    if (level && *level != window->level()) window->updateLevel(*level);
  }
  if (const auto entry = values.find(std::string(spaceScopeKey)); entry != values.end()) {
    const auto scope = stickySpaceScopeFromName(entry->second);
    if (scope && *scope != window->spaceScope()) window->updateSpaceScope(*scope);
  }
  if (const auto entry = values.find(std::string(floatingWindowKey)); entry != values.end()) {
    if (entry->second == "true") {
      window->present();
    } else {
      window->dismiss();
    }
  }
}

}  // namespace tovarin
