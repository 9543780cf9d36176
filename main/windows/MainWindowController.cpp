#include "main/windows/MainWindowController.h"

#include <cassert>

#include "base/Log.h"
#include "main/bridges/DropProtocol.h"
#include "main/page/AccessibilityDisplayBridge.h"
#include "main/page/PageDelivery.h"
#include "main/page/WebViewFactory.h"
#include "main/windows/FrameGuard.h"
#include "main/windows/MainWindowChrome.h"

namespace tovarin {
namespace {

// Trigger texts: the diagnosis quotes them to say what made the window look again.
constexpr std::string_view firstShowingTrigger = "打开窗口时核验本机服务";
constexpr std::string_view laterShowingTrigger = "本机服务中途停了";
constexpr std::string_view retryTrigger = "点了「重试」";
constexpr std::string_view menuReconnectTrigger = "从「显示」菜单重新连接";
constexpr std::string_view webContentEndedTrigger = "窗口内容进程中断";
constexpr std::string_view extraWaitTrigger = "接着又等了 30 秒";

constexpr std::string_view toastReady = "本机服务已连接。窗口内容已保留，可以继续或重试刚才的操作。";
constexpr std::string_view toastNotReady = "本机服务暂未连接。窗口内容已保留，可从显示菜单重新连接。";

// The page receives its arguments as one JSON text (the engine refuses other argument
// kinds); the toast's text is therefore never part of the script itself.
constexpr std::string_view toastScript =
    "var message = JSON.parse(argumentsJson).message;\n"
    "if (window.__calendar && window.__calendar.ctx) window.__calendar.ctx.toast(message);";

constexpr PageHostPolicy hostPolicy{
    .transparent = false,
    .shellClass = MainWindowController::shellClass,
    .pageObject = "__calendar",
    .page = "index.html",
    .missingBridgeLine = "no bridge in this window yet",
    // Refused and logged like every other window a page opens by itself.
    .quietAboutNewWindowsWithoutAddress = false,
    // The main window is where the main page is shown: another copy goes to the browser.
    .bareMainPageShowsMainWindow = false,
};

constexpr std::string_view chatFocusScript = "window.__calendar.ctx.bus.emit('chat:focus', {})";

// A page command name goes into script text; only plain identifiers may.
bool isCommandName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-' || c == ':';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

const PageHostPolicy& MainWindowController::pagePolicy() { return hostPolicy; }

std::shared_ptr<MainWindowController> MainWindowController::create(AppConfig config, Services services) {
  auto controller = std::make_shared<MainWindowController>(CreateKey{}, std::move(config), std::move(services));
  controller->build();
  return controller;
}

MainWindowController::MainWindowController(CreateKey, AppConfig config, Services services)
    : config_(std::move(config)),
      localServer_(config_.port),
      page_(std::move(services.page)),
      loop_(page_.loop),
      desktop_(page_.desktop),
      accessibility_(page_.accessibility),
      defaults_(services.defaults),
      capture_(std::move(services.capture)),
      voiceEngine_(std::move(services.voice)),
      frameAutosave_(loop_, defaults_, std::string(frameKey), defaults_.string(std::string(frameKey)).value_or("")) {}

void MainWindowController::build() {
  assert(loop_.isMainThread());
  window_ = desktop_.makeWindow(WindowStyle::titled, contentSize);
  window_->setTitle(config_.bundle.infoString("CFBundleDisplayName").value_or(std::string(defaultTitle)));
  applyNativeGround();
  window_->setMinimumSize(minimumSize);

  if (voiceEngine_) voice_ = VoiceBridge::create(loop_, voiceEngine_, &defaults_, "main", localServer_);
  host_ = PageHost::create(page_, localServer_, hostPolicy, weak_from_this());
  host_->addHandler("mainWindow", [this](const ScriptMessage& message) { handleChromeMessage(message); });
  host_->addBridge(std::string(VoiceBridge::handlerName), voice_);
  host_->addBridge(std::string(OcrBridge::handlerName), capture_ ? capture_->ocr() : nullptr);
  host_->addBridge(std::string(NotifyBridge::handlerName), capture_ ? capture_->notify() : nullptr);
  webView_ = host_->makeWebView(window_);
  window_->setContent(webView_);
  if (voice_) voice_->attach(webView_);
  window_->setClient(weak_from_this());

  if (!FrameGuard::restore(*window_, defaults_.string(std::string(frameKey)), desktop_.screens())) window_->center();

  AccessibilityDisplayBridge::observe(accessibility_, weak_from_this());
  if (capture_) {
    capture_->attach(webView_, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->show();
    });
  }
  webView_->loadHtml(WebViewFactory::startingHTML(), "");
}

// Operations for the application -------------------------------------------------------

void MainWindowController::show() {
  assert(loop_.isMainThread());
  prepareForShow();
  FrameGuard::nudgeOnScreen(*window_, desktop_.screens());
  window_->show();
  desktop_.activateApplication();
}

void MainWindowController::load(bool force) {
  assert(loop_.isMainThread());
  if (host_->showsPage() && !force) return;
  loadMainPage();
}

void MainWindowController::reload() {
  assert(loop_.isMainThread());
  host_->recover({.trigger = std::string(menuReconnectTrigger),
                  .preservePage = host_->showsPage(),
                  .asker = ServiceRecovery::Asker::user});
}

void MainWindowController::openConversation() {
  assert(loop_.isMainThread());
  show();
  runCommand("open-ai-chat", defaultRetries, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->webView_->evaluate(std::string(chatFocusScript), nullptr);
  });
}

void MainWindowController::importMaterials() {
  assert(loop_.isMainThread());
  show();
  if (!page_.panelPresenter || !capture_) {
    log("import: this window has no import panel");
    return;
  }
  OpenPanel panel;
  panel.title = "整理材料";
  panel.message = "选择截图、照片、文本、Markdown、CSV 或 TSV。先在本机提取文字，确认后才记录。";
  panel.prompt = "整理";
  panel.canChooseFiles = true;
  panel.canChooseDirectories = false;
  panel.allowsMultipleSelection = true;
  panel.allowedExtensions = DropProtocol::extensions();
  page_.panelPresenter->runOpenPanel(std::move(panel), window_,
                                [weak = weak_from_this()](std::optional<std::vector<std::string>> paths) {
                                  auto self = weak.lock();
                                  if (!self || !paths) return;
                                  std::vector<std::string> accepted;
                                  for (auto& path : *paths) {
                                    if (DropProtocol::accepts(path)) accepted.push_back(std::move(path));
                                  }
                                  self->capture_->drop().accept(accepted);
                                });
}

void MainWindowController::runCommand(const std::string& name, int retries, std::function<void()> completion) {
  assert(loop_.isMainThread());
  if (!isCommandName(name)) {
    log("command refused: not a command name: " + name);
    return;
  }
  const std::string script = "(window.__calendar && window.__calendar.ctx) ? window.__calendar.ctx.runCommand('" +
                             name + "') : null";
  PageDelivery::offer(loop_,
                      {.attempt = evaluateWhileAlive(script),
                       .acknowledged = PageDelivery::answeredBoolean,
                       .onAcknowledged =
                           [name, completion = std::move(completion)](const ScriptValue& registered) {
                             if (!registered.boolean) {
                               log("command " + name + " is not registered in the page");
                             } else if (completion) {
                               completion();
                             }
                           },
                       .onGivenUp = [name] { log("command " + name + " dropped: page never became ready"); }},
                      retries);
}

// Every attempt holds the controller weakly: once it has gone, nothing more is tried or said.
std::function<void(std::function<void(ScriptValue)>)> MainWindowController::evaluateWhileAlive(std::string script) {
  return [weak = weak_from_this(), script = std::move(script)](std::function<void(ScriptValue)> answered) {
    auto self = weak.lock();
    if (!self) return;
    self->webView_->evaluate(script, [weak, answered = std::move(answered)](ScriptValue answer) {
      if (weak.lock()) answered(std::move(answer));
    });
  };
}

void MainWindowController::navigate(const std::map<std::string, std::string>& target, int retries) {
  assert(loop_.isMainThread());
  Json payload = Json::object();
  for (const auto& [key, value] : target) payload[key] = value;
  // The payload is JSON text, which is a script literal: no page text is concatenated.
  const std::string script = "typeof window.__tovarinNavigate === 'function' ? window.__tovarinNavigate(" +
                             toJsonText(payload) + ") : null";
  PageDelivery::offer(loop_, {.attempt = evaluateWhileAlive(script), .acknowledged = PageDelivery::answeredAnyValue},
                      retries);
}

void MainWindowController::showOffline(const StartupNotice& notice) {
  assert(loop_.isMainThread());
  pageChrome_.reset();
  applyNativeGround();
  webView_->loadHtml(WebViewFactory::offlineHTML(notice, false), "");
  if (notice.cause != ServerStartupFailure::startingSlowly || waitingAfterNotice_ || host_->showsPage()) return;
  waitingAfterNotice_ = true;
  page_.server->waitUntilReady(extraWaitAfterNotice, [weak = weak_from_this()](bool ready) {
    if (auto self = weak.lock()) self->finishExtraWait(ready);
  });
}

void MainWindowController::finishExtraWait(bool ready) {
  assert(loop_.isMainThread());
  waitingAfterNotice_ = false;
  if (host_->showsPage()) return;
  if (ready) {
    loadMainPage();
  } else {
    host_->diagnose(std::string(extraWaitTrigger), false);
  }
}

void MainWindowController::loadMainPage() {
  assert(loop_.isMainThread());
  loadUnderWay_ = true;
  webView_->loadUrl(config_.mainURL(), mainPageTimeout);
}

void MainWindowController::afterLoadSettles(std::function<void()> then) {
  assert(loop_.isMainThread());
  if (!loadUnderWay_) return then();
  afterLoad_.push_back(std::move(then));
}

void MainWindowController::loadSettled() {
  loadUnderWay_ = false;
  for (auto& then : std::exchange(afterLoad_, {})) then();
}

// Recovery -------------------------------------------------------------------------------

void MainWindowController::prepareForShow() {
  assert(loop_.isMainThread());
  if (!host_->showsPage()) {
    startRecovery(std::string(firstShowingTrigger));
    return;
  }
  // A loaded page is only disturbed when two checks in a row find the server unusable.
  page_.server->checkHealth([weak = weak_from_this(), &loop = loop_](bool usable) {
    if (usable) return;
    loop.post([weak] {
      auto self = weak.lock();
      if (!self) return;
      self->host_->recover({.trigger = std::string(laterShowingTrigger), .preservePage = self->host_->showsPage()});
    });
  });
}

// A recovery that replaces whatever the window shows, and ends in the offline page when
// the server stays out.
void MainWindowController::startRecovery(std::string trigger) {
  host_->recover({.trigger = std::move(trigger)});
}

void MainWindowController::pageRecoveryEnded(bool ready) {
  assert(loop_.isMainThread());
  webView_->callAsync(std::string(toastScript), Json{{"message", ready ? toastReady : toastNotReady}},
                      [](ScriptValue) {});
}

void MainWindowController::pageShouldLoad() { loadMainPage(); }

void MainWindowController::pageShouldShowOffline(const StartupNotice& notice) { showOffline(notice); }

// Page events ------------------------------------------------------------------------------

void MainWindowController::handleChromeMessage(const ScriptMessage& message) {
  if (!message.source.trustedMainFrame()) return;
  auto color = MainWindowChrome::background(message.body);
  if (!color) return;
  pageChrome_ = color;
  window_->setBackgroundColor(*color);
}

void MainWindowController::pageFinishedLoading() {
  assert(loop_.isMainThread());
  if (capture_) capture_->pageFinishedLoading();
}

void MainWindowController::pageLoadSettled() {
  assert(loop_.isMainThread());
  loadSettled();
}

void MainWindowController::pageLostServer(const PageLoadFailure& failure) {
  assert(loop_.isMainThread());
  if (failure.committed) {
    startRecovery("页面加载中断：" + failure.error);
  } else {
    startRecovery("连不上本机服务（端口 " + std::to_string(config_.port) + "）");
  }
}

void MainWindowController::pageContentProcessEnded() {
  assert(loop_.isMainThread());
  loadSettled();
  host_->forgetPage();
  startRecovery(std::string(webContentEndedTrigger));
}

void MainWindowController::pageAskedToRetry() {
  assert(loop_.isMainThread());
  host_->recover({.trigger = std::string(retryTrigger), .retried = true, .asker = ServiceRecovery::Asker::user});
}

// Window events -----------------------------------------------------------------------------

void MainWindowController::windowDidMoveOrResize(const Rect& frame) {
  assert(loop_.isMainThread());
  frameAutosave_.note(frame);
}

bool MainWindowController::windowShouldClose() {
  assert(loop_.isMainThread());
  if (voice_) voice_->release("window-closed");
  window_->hide();
  return false;
}

void MainWindowController::windowScreensDidChange() {
  assert(loop_.isMainThread());
  FrameGuard::nudgeOnScreen(*window_, desktop_.screens());
}

void MainWindowController::accessibilitySettingsDidChange() {
  loop_.post([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->host_->applyAccessibility();
    if (!self->pageChrome_) self->applyNativeGround();
  });
}

void MainWindowController::applyNativeGround() {
  window_->setBackgroundColor(MainWindowChrome::nativeGround(accessibility_.prefersDarkAppearance()));
}

}  // namespace tovarin
