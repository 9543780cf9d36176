#include "main/windows/StickyWindowController.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "base/Log.h"
#include "base/Text.h"
#include "main/page/AccessibilityDisplayBridge.h"
#include "main/page/WebViewFactory.h"
#include "main/windows/FrameGuard.h"
#include "main/windows/MainWindowChrome.h"
#include "main/windows/StickyGeometry.h"

namespace tovarin {
namespace {

constexpr std::string_view floatingWindowKey = "floatingWindow";
constexpr std::string_view levelSettingKey = "stickyLevel";
constexpr std::string_view spaceScopeSettingKey = "stickySpaceScope";

constexpr PageHostPolicy hostPolicy{
    .transparent = true,
    .shellClass = StickyWindowController::shellClass,
    .pageObject = "__widget",
    .page = "widget.html",
    .missingBridgeLine = "no bridge in the sticky window yet",
    .quietAboutNewWindowsWithoutAddress = true,
    // A link to the main page brings up the main window rather than a browser copy.
    .bareMainPageShowsMainWindow = true,
};

std::string boolText(bool value) { return value ? "true" : "false"; }

// A card id is 1 to 160 ASCII letters, digits, underscores and hyphens.
bool isCardId(const std::string& id) {
  if (id.empty() || id.size() > 160) return false;
  for (char c : id) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

const PageHostPolicy& StickyWindowController::pagePolicy() { return hostPolicy; }

const std::vector<std::string>& StickyWindowController::navigationSurfaces() {
  static const std::vector<std::string> surfaces = {"account", "settings", "calendar", "tasks",
                                                    "chat",    "memory",   "daily"};
  return surfaces;
}

std::shared_ptr<StickyWindowController> StickyWindowController::create(AppConfig config, Services services) {
  auto controller = std::make_shared<StickyWindowController>(CreateKey{}, std::move(config), std::move(services));
  controller->build();
  return controller;
}

StickyWindowController::StickyWindowController(CreateKey, AppConfig config, Services services)
    : config_(std::move(config)),
      localServer_(config_.port),
      page_(std::move(services.page)),
      loop_(page_.loop),
      desktop_(page_.desktop),
      accessibility_(page_.accessibility),
      defaults_(services.defaults),
      voiceEngine_(std::move(services.voice)),
      frameAutosave_(loop_, defaults_, std::string(frameKey), defaults_.string(std::string(frameKey)).value_or("")),
      chromeSurfaces_(services.chromeSurfaces) {}

void StickyWindowController::build() {
  assert(loop_.isMainThread());
  window_ = desktop_.makeWindow(WindowStyle::borderless, StickyGeometry::defaultSize);
  window_->setMinimumSize(StickyGeometry::minSize);
  window_->setMaximumSize(StickyGeometry::maxSize);
  applyWindowPolicy();
  applyTransparencyPolicy();

  if (voiceEngine_) voice_ = VoiceBridge::create(loop_, voiceEngine_, &defaults_, "sticky", localServer_);
  host_ = PageHost::create(page_, localServer_, hostPolicy, weak_from_this());
  host_->addHandler("hover", [this](const ScriptMessage& message) { handleHoverMessage(message); });
  host_->addHandler("windowState", [this](const ScriptMessage& message) { handleWindowStateMessage(message); });
  host_->addHandler("navigation", [this](const ScriptMessage& message) { handleNavigationMessage(message); });
  host_->addBridge(std::string(VoiceBridge::handlerName), voice_);
  webView_ = host_->makeWebView(window_);
  window_->setContent(webView_);
  if (voice_) voice_->attach(webView_);

  surface_ = chromeSurfaces_.attach(*window_, *webView_);
  chrome_ = StickyChrome::create(loop_, window_, surface_, [&desktop = desktop_] { return desktop.screens(); });
  chrome_->onPointerMoved = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->reapplyHover();
  };
  chrome_->onPointerPressed = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->reapplyHover();
  };
  chrome_->onPointerChanged = [weak = weak_from_this()](bool inside, StickyZone zone) {
    if (auto self = weak.lock()) self->pointerChanged(inside, zone);
  };

  AccessibilityDisplayBridge::observe(accessibility_, weak_from_this());
  placeWindow();
  clampSize();
  lastFrame_ = window_->frame();
  window_->setClient(weak_from_this());
  // Nothing is loaded yet: a page would start the view's web process, and at launch the
  // main page's first paint needs the machine more than a window nobody sees.
}

// The stored frame when it can still be reached; else the first placement, inset from
// the top-right corner of the primary screen.
void StickyWindowController::placeWindow() {
  const auto screens = desktop_.screens();
  if (FrameGuard::restore(*window_, defaults_.string(std::string(frameKey)), screens)) return;
  if (screens.empty()) return;
  const Rect visible = screens.front().visibleFrame;
  const Rect frame = window_->frame();
  window_->setFrame({visible.maxX() - frame.width - defaultInset, visible.maxY() - frame.height - defaultInset,
                     frame.width, frame.height});
}

void StickyWindowController::clampSize() {
  const Rect frame = window_->frame();
  const Size size = StickyGeometry::clamp({frame.width, frame.height}, StickyGeometry::screen(frame, desktop_.screens()));
  if (std::abs(size.width - frame.width) <= 0.5 && std::abs(size.height - frame.height) <= 0.5) return;
  // The top-left corner stays where it is.
  window_->setFrame({frame.x, frame.maxY() - size.height, size.width, size.height});
}

// Showing and hiding ---------------------------------------------------------------------

void StickyWindowController::show() {
  assert(loop_.isMainThread());
  const bool wasVisible = window_->isVisible();
  setSetting(std::string(floatingWindowKey), "true", boolText(wasVisible));
  present();
  if (level() != StickyLevel::desktop) window_->show();
}

void StickyWindowController::hide() {
  assert(loop_.isMainThread());
  const bool wasVisible = window_->isVisible();
  setSetting(std::string(floatingWindowKey), "false", boolText(wasVisible));
  dismiss();
}

bool StickyWindowController::isVisible() const { return window_->isVisible(); }

void StickyWindowController::present() {
  assert(loop_.isMainThread());
  if (!anyPageRequested_) {
    anyPageRequested_ = true;
    webView_->loadHtml(WebViewFactory::startingHTML(), "");
  }
  if (!host_->showsPage() && !widgetPageRequested_) recoverQuietly();
  if (window_->isVisible()) return;
  FrameGuard::nudgeOnScreen(*window_, desktop_.screens());
  window_->orderFrontQuietly();
  announceVisibility(false);
}

void StickyWindowController::dismiss() {
  assert(loop_.isMainThread());
  const bool wasVisible = window_->isVisible();
  if (voice_) voice_->release("sticky-dismissed");
  chrome_->resetPointerState();
  window_->hide();
  announceVisibility(wasVisible);
}

void StickyWindowController::announceVisibility(bool wasVisible) {
  if (window_->isVisible() != wasVisible && onVisibilityChanged) onVisibilityChanged();
}

// Level, scope and opacity ---------------------------------------------------------------

StickyLevel StickyWindowController::level() const {
  return stickyLevelFromRaw(defaults_.integer(std::string(levelKey))).value_or(StickyLevel::floating);
}

void StickyWindowController::updateLevel(StickyLevel level) {
  assert(loop_.isMainThread());
  defaults_.setInteger(std::string(levelKey), rawValue(level));
  applyWindowPolicy();
  if (onLevelChanged) onLevelChanged();
}

void StickyWindowController::setLevel(StickyLevel level) {
  assert(loop_.isMainThread());
  const StickyLevel previous = this->level();
  updateLevel(level);
  setSetting(std::string(levelSettingKey), std::string(settingName(level)), std::string(settingName(previous)));
}

StickySpaceScope StickyWindowController::spaceScope() const {
  return stickySpaceScopeFromRaw(defaults_.integer(std::string(spaceScopeKey))).value_or(StickySpaceScope::current);
}

void StickyWindowController::updateSpaceScope(StickySpaceScope scope) {
  assert(loop_.isMainThread());
  defaults_.setInteger(std::string(spaceScopeKey), rawValue(scope));
  applyWindowPolicy();
  if (onLevelChanged) onLevelChanged();
}

void StickyWindowController::setSpaceScope(StickySpaceScope scope) {
  assert(loop_.isMainThread());
  const StickySpaceScope previous = spaceScope();
  updateSpaceScope(scope);
  setSetting(std::string(spaceScopeSettingKey), std::string(settingName(scope)), std::string(settingName(previous)));
}

double StickyWindowController::opacity() const { return defaults_.number(std::string(opacityKey)); }

void StickyWindowController::setOpacity(double opacity) {
  assert(loop_.isMainThread());
  defaults_.setNumber(std::string(opacityKey), opacity);
  applyTransparencyPolicy();
  if (onLevelChanged) onLevelChanged();
}

double StickyWindowController::effectiveOpacity() const {
  if (accessibility_.reduceTransparency()) return 1.0;
  const double stored = opacity();
  // Below the minimum (or absent) reads as opaque; the window cannot be more than opaque.
  if (!(stored >= minimumOpacity) || stored > 1.0) return 1.0;
  return stored;
}

void StickyWindowController::applyWindowPolicy() {
  window_->setStacking(windowStacking(level()));
  window_->setOnAllWorkspaces(isOnAllWorkspaces(spaceScope()));
}

// There is no translucent material behind the page on this desktop: the window's own
// ground is always drawn, and the window as a whole takes the opacity.
void StickyWindowController::applyTransparencyPolicy() {
  window_->setBackgroundColor(MainWindowChrome::nativeGround(accessibility_.prefersDarkAppearance()));
  window_->setOpacity(effectiveOpacity());
}

void StickyWindowController::setSetting(const std::string& key, const std::string& value, const std::string& fallback) {
  if (auto exchange = settingsExchange_.lock()) exchange->settingChanged(key, value, fallback);
}

void StickyWindowController::syncFromServer() {
  assert(loop_.isMainThread());
  if (auto exchange = settingsExchange_.lock()) exchange->syncFromServer();
}

// Pages -------------------------------------------------------------------------------------

void StickyWindowController::load() {
  assert(loop_.isMainThread());
  // The window may have been shown first and have its page, or be loading it: a second
  // load would replace the page under whatever it was just asked to do.
  if (host_->showsPage() || widgetPageRequested_) return;
  loadWidgetPage();
}

void StickyWindowController::loadWidgetPage() {
  assert(loop_.isMainThread());
  anyPageRequested_ = true;
  widgetPageRequested_ = true;
  webView_->loadUrl(config_.widgetURL(), widgetPageTimeout);
}

void StickyWindowController::showOffline(const StartupNotice& notice) {
  loop_.post([weak = weak_from_this(), page = WebViewFactory::offlineHTML(notice, true)] {
    auto self = weak.lock();
    if (!self) return;
    self->anyPageRequested_ = true;
    self->widgetPageRequested_ = false;
    self->webView_->loadHtml(page, "");
  });
}

// Recovery ------------------------------------------------------------------------------------

// A recovery the window looked for itself: a server that stays out leaves the window as
// it is, without an offline page.
void StickyWindowController::recoverQuietly() { host_->recover({.trigger = {}, .showFailure = false}); }

void StickyWindowController::pageShouldLoad() { loadWidgetPage(); }

void StickyWindowController::pageShouldShowOffline(const StartupNotice& notice) { showOffline(notice); }

// Page messages ----------------------------------------------------------------------------

void StickyWindowController::handleNavigationMessage(const ScriptMessage& message) {
  if (!localServer_.isMainFrameOf(message.source)) return;
  if (!message.body.is_object()) return;
  std::map<std::string, std::string> body;
  for (const auto& [key, value] : message.body.items()) {
    if (!value.is_string()) return;
    body[key] = value.get<std::string>();
  }
  auto target = body.find("surface");
  if (target == body.end()) target = body.find("panel");
  if (target == body.end()) return;
  const auto& surfaces = navigationSurfaces();
  if (std::find(surfaces.begin(), surfaces.end(), target->second) == surfaces.end()) return;
  for (const auto& [key, value] : body) {
    if (text::graphemeCount(value) > maximumNavigationValueLength) return;
  }
  if (const auto card = body.find("cardId"); card != body.end()) {
    if (target->second != "chat" || !isCardId(card->second)) return;
  }
  if (onNavigate) onNavigate(body);
}

void StickyWindowController::handleHoverMessage(const ScriptMessage& message) {
  hoverInteractive_ = jsonBool(message.body).value_or(false);
  chrome_->setOverInteractive(hoverInteractive_);
  chrome_->setGrabbable(!hoverInteractive_);
}

void StickyWindowController::handleWindowStateMessage(const ScriptMessage& message) {
  if (!localServer_.isMainFrameOf(message.source)) return;
  if (!message.body.is_object()) return;
  pageReported_ = true;
  syncFromServer();
}

// Pointer ---------------------------------------------------------------------------------------

void StickyWindowController::reapplyHover() { chrome_->setOverInteractive(hoverInteractive_); }

void StickyWindowController::pointerChanged(bool inside, StickyZone zone) {
  assert(loop_.isMainThread());
  if (inside != ringEmphasized_) {
    ringEmphasized_ = inside;
    surface_->setRingEmphasized(inside);
  }
  if (!host_->showsPage()) return;
  // The zone names are our own constants; nothing from outside enters the script.
  const std::string script = "window.__stickyPointer && window.__stickyPointer({ inside: " + boolText(inside) +
                             ", zone: '" + std::string(name(zone)) + "' })";
  webView_->evaluate(script, nullptr);
}

// Page loads -----------------------------------------------------------------------------------

void StickyWindowController::pageLoadSettled() {
  assert(loop_.isMainThread());
  widgetPageRequested_ = false;
}

// An outage the window did not look for shows no failure: the page stays as it is until
// the server is back.
void StickyWindowController::pageLostServer(const PageLoadFailure&) {
  assert(loop_.isMainThread());
  recoverQuietly();
}

void StickyWindowController::pageAskedToRetry() {
  assert(loop_.isMainThread());
  // The sticky window's notices always say a retry was made.
  host_->recover({.trigger = std::string(retryTrigger),
                  .retried = true,
                  .showFailure = true,
                  .asker = ServiceRecovery::Asker::user});
}

void StickyWindowController::pageOpensMainWindow() {
  assert(loop_.isMainThread());
  if (onShowMain) onShowMain();
}

// Window events -----------------------------------------------------------------------------------

void StickyWindowController::windowDidMoveOrResize(const Rect& frame) {
  assert(loop_.isMainThread());
  const bool moved = (frame.x != lastFrame_.x || frame.y != lastFrame_.y) && frame.width == lastFrame_.width &&
                     frame.height == lastFrame_.height;
  lastFrame_ = frame;
  frameAutosave_.note(frame);
  // A move with the button held is the window manager dragging the window.
  if (moved && !chrome_->isResizing() && surface_->primaryButtonDown()) chrome_->beginWindowDrag();
}

bool StickyWindowController::windowShouldClose() {
  assert(loop_.isMainThread());
  // Closing through the window manager is the same as hiding from the menu.
  hide();
  return false;
}

void StickyWindowController::windowScreensDidChange() {
  assert(loop_.isMainThread());
  FrameGuard::nudgeOnScreen(*window_, desktop_.screens());
  clampSize();
}

void StickyWindowController::accessibilitySettingsDidChange() {
  loop_.post([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->applyTransparencyPolicy();
    self->host_->applyAccessibility();
  });
}


}  // namespace tovarin
