#include "main/app/AppDelegate.h"

#include <cassert>
#include <utility>

#include "base/Log.h"
#include "main/app/MainMenu.h"
#include "main/app/StatusMenu.h"
#include "main/app/UrlRouting.h"
#include "main/app/UsabilityReportingSupervisor.h"
#include "main/server/ServerStartupDiagnosis.h"

namespace tovarin {
namespace {

// The page command each plain menu command sends through the main window.
std::optional<std::string_view> pageCommandOf(MenuCommand command) {
  switch (command) {
    case MenuCommand::openTasks: return "view.tasks";
    case MenuCommand::openMatters: return "view.matters";
    case MenuCommand::openCalendar: return "view.month";
    case MenuCommand::newEvent: return "event.new";
    case MenuCommand::quickAdd: return "quickadd.open";
    case MenuCommand::goToday: return "nav.today";
    case MenuCommand::focusSearch: return "search.focus";
    case MenuCommand::openPalette: return "palette.open";
    case MenuCommand::openSettings: return "app.settings";
    case MenuCommand::openAiSettings: return "ai.configure";
    case MenuCommand::openKelmCenter: return "kelm.center";
    default: return std::nullopt;
  }
}

// The facts of a failed or refused start, turned into the notice both windows show.
// Gathering blocks, so it runs off the main loop; the windows are told on it.
void showOfflineFromFacts(const std::weak_ptr<AppDelegate>& weak, const std::shared_ptr<ServerSupervisor>& server,
                          MainLoop& loop, std::string trigger,
                          std::function<void(AppDelegate&, const StartupNotice&)> show) {
  server->startupFacts([weak, &loop, trigger = std::move(trigger), show = std::move(show)](ServerStartupFacts facts) {
    StartupNotice notice = ServerStartupDiagnosis::notice(facts, trigger, false);
    loop.post([weak, show, notice = std::move(notice)] {
      if (auto self = weak.lock()) show(*self, notice);
    });
  });
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(AppConfig config, Identity identity, MainLoop& loop,
                                                 TaskRunner& background, AppParts& parts, AppDesktop& desktop) {
  return std::make_shared<AppDelegate>(CreateKey{}, std::move(config), std::move(identity), loop, background, parts,
                                       desktop);
}

AppDelegate::AppDelegate(CreateKey, AppConfig config, Identity identity, MainLoop& loop, TaskRunner& background,
                         AppParts& parts, AppDesktop& desktop)
    : config_(std::move(config)),
      identity_(std::move(identity)),
      loop_(loop),
      background_(background),
      parts_(parts),
      desktop_(desktop) {}

void AppDelegate::didFinishLaunching() {
  assert(loop_.isMainThread());
  if (launched_) return;
  launched_ = true;
  log("launch: projectRoot=" + config_.projectRoot + " port=" + std::to_string(config_.port));
  // Before the server controller exists, so that the bridge's variables reach the server child.
  activity_ = parts_.makeActivity();
  if (activity_) {
    activity_->bootstrap();
    // The status item comes later in the launch and starts current; from then on the
    // record's changes keep its submenu current.
    activity_->setOnChange([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->rebuildStatusMenu();
    });
  }
  server_ = parts_.makeServer();
  parts_.configureVoice();
  watcher_ = parts_.makeWatcher();
  presence_ = parts_.makePresence(presenceInterval);
  // The windows see the server through a supervisor that tells the delegate when it is
  // usable, so the server-ready steps also follow a recovery after an offline launch.
  auto windowsServer = std::make_shared<UsabilityReportingSupervisor>(server_, [weak = weak_from_this(), &loop = loop_] {
    loop.post([weak] {
      if (auto self = weak.lock()) self->serverBecameReady();
    });
  });
  main_ = parts_.makeMainWindow(windowsServer);
  sticky_ = parts_.makeStickyWindow(windowsServer);
  wireCallbacks();
  desktop_.installMainMenu(MainMenu::build(identity_.productName), weak_from_this());
  desktop_.createStatusItem(identity_.productName, weak_from_this());
  rebuildStatusMenu();
  main_->orderFrontAtLaunch();
  desktop_.activateApplication();
  startServerThenLoad();
  if (pendingUrl_) route(*std::exchange(pendingUrl_, std::nullopt));
}

void AppDelegate::wireCallbacks() {
  sticky_->setOnLevelChanged([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->rebuildStatusMenu();
  });
  // The menu's sticky item says what choosing it will do, so it follows every showing
  // and hiding, the server's and the close button's included.
  sticky_->setOnVisibilityChanged([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->rebuildStatusMenu();
  });
  sticky_->setOnNavigate([weak = weak_from_this()](const std::map<std::string, std::string>& target) {
    auto self = weak.lock();
    if (!self) return;
    self->main_->show();
    self->main_->navigate(target, pageCommandRetries);
  });
  sticky_->setOnShowMain([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->main_->show();
  });
  watcher_->setOnChange([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    self->sticky_->syncFromServer();
    self->rebuildStatusMenu();
  });
}

void AppDelegate::startServerThenLoad() {
  server_->checkHealth([weak = weak_from_this()](bool usable) { onLaunchHealth(weak, usable); });
}

void AppDelegate::onLaunchHealth(const std::weak_ptr<AppDelegate>& weak, bool usable) {
  // Runs on the probe queue: the delegate is only locked long enough to read what
  // launch fixed, so that this queue never becomes its last owner.
  std::shared_ptr<ServerSupervisor> server;
  MainLoop* loop = nullptr;
  bool autoStart = false;
  {
    auto self = weak.lock();
    if (!self) return;
    server = self->server_;
    loop = &self->loop_;
    autoStart = self->config_.autoStartServer;
  }
  if (usable) {
    loop->post([weak] {
      auto self = weak.lock();
      if (!self) return;
      self->loadPagesMainFirst(false);
      self->serverBecameReady();
    });
    return;
  }
  // A window's own first check may already have started the server, or be waiting for
  // it; then start() here refuses, and the launch joins that wait instead of giving up.
  const bool underway = server->isWaitingForReadiness() || server->childIsRunning();
  if (underway || (autoStart && server->start())) {
    server->waitUntilReady(launchReadinessTimeout, [weak](bool ready) {
      if (auto self = weak.lock()) self->onLaunchReadiness(ready);
    });
    return;
  }
  showOfflineFromFacts(weak, server, *loop, std::string(triggerAtLaunch), [](AppDelegate& self, const StartupNotice& notice) {
    self.main_->showOffline(notice);
    self.sticky_->showOffline(notice);
  });
}

void AppDelegate::onLaunchReadiness(bool ready) {
  assert(loop_.isMainThread());
  if (ready) {
    loadPagesMainFirst(true);
    serverBecameReady();
    return;
  }
  showLaunchOffline(triggerAfterLaunchWait);
}

// The sticky page's web process would share the launch with the main page's and hold
// back its first paint: it starts once the main page has loaded or failed, or after a
// while in any case.
void AppDelegate::loadPagesMainFirst(bool force) {
  main_->load(force);
  auto loadSticky = [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self || !self->stickyLoadFallback_.isArmed()) return;
    self->stickyLoadFallback_.cancel();
    self->sticky_->load();
  };
  stickyLoadFallback_ = loop_.postAfter(stickyLoadLatest, loadSticky);
  main_->afterLoadSettles(loadSticky);
}

void AppDelegate::showLaunchOffline(std::string_view trigger) {
  background_.post([weak = weak_from_this(), server = server_, &loop = loop_, trigger = std::string(trigger)] {
    showOfflineFromFacts(weak, server, loop, trigger, [](AppDelegate& self, const StartupNotice& notice) {
      self.main_->showOffline(notice);
      self.sticky_->showOffline(notice);
    });
  });
}

void AppDelegate::serverBecameReady() {
  assert(loop_.isMainThread());
  // Once per run, the first time the server is usable, whenever that is; never after
  // termination stopped what these steps start.
  if (readyStepsRan_ || terminated_) return;
  readyStepsRan_ = true;
  watcher_->start();
  watcher_->reloadWidgets();
  presence_->start();
  sticky_->syncFromServer();
}

void AppDelegate::openUrls(const std::vector<std::string>& urls) {
  assert(loop_.isMainThread());
  if (urls.empty()) return;
  if (main_) {
    route(urls.front());
  } else {
    pendingUrl_ = urls.front();
  }
}

void AppDelegate::reopen() {
  assert(loop_.isMainThread());
  if (main_) main_->show();
}

void AppDelegate::willTerminate() {
  assert(loop_.isMainThread());
  if (terminated_) return;
  terminated_ = true;
  if (activity_) activity_->shutdown();
  if (launched_) parts_.silenceVoice();
  if (presence_) presence_->stop();
  if (watcher_) watcher_->stop();
  if (server_) server_->stop();
}

void AppDelegate::willResignActive() {
  assert(loop_.isMainThread());
  if (launched_ && !terminated_) parts_.silenceVoice();
}

void AppDelegate::route(const std::string& url) {
  assert(loop_.isMainThread());
  const auto host = UrlRouting::host(url);
  log(UrlRouting::logLine(host));
  if (!main_) return;
  main_->show();
  const auto route = UrlRouting::routeFor(host);
  if (route.openConversation) main_->openConversation();
  for (const auto& command : route.pageCommands) main_->runCommand(command, pageCommandRetries);
}

void AppDelegate::rebuildStatusMenu() {
  assert(loop_.isMainThread());
  StatusMenu::State state;
  state.productName = identity_.productName;
  if (sticky_) {
    const StickyLevel level = sticky_->level();
    const StickySpaceScope scope = sticky_->spaceScope();
    state.stickyVisible = sticky_->isVisible();
    for (StickyLevel each : allStickyLevels) {
      state.levels.push_back({std::string(title(each)), rawValue(each), each == level});
    }
    for (StickySpaceScope each : allStickySpaceScopes) {
      state.scopes.push_back({std::string(title(each)), rawValue(each), each == scope});
    }
    state.opacity = sticky_->opacity();
  }
  if (activity_) state.activityItem = activity_->statusMenuItem();
  state.canRaise = isEnabled(MenuCommand::raiseSticky);
  state.canLower = isEnabled(MenuCommand::lowerSticky);
  desktop_.setStatusMenu(StatusMenu::build(state));
}

bool AppDelegate::isEnabled(MenuCommand command) const {
  switch (command) {
    case MenuCommand::raiseSticky: return sticky_ && higher(sticky_->level()).has_value();
    case MenuCommand::lowerSticky: return sticky_ && lower(sticky_->level()).has_value();
    default: return true;
  }
}

void AppDelegate::perform(MenuCommand command, const MenuArgument& argument) {
  assert(loop_.isMainThread());
  if (!main_ || !sticky_ || MenuCommands::isDesktopCommand(command)) return;
  if (auto page = pageCommandOf(command)) {
    runPageCommand(std::string(*page));
    return;
  }
  switch (command) {
    case MenuCommand::showMain: main_->show(); break;
    case MenuCommand::reloadApp: main_->reload(); break;
    case MenuCommand::openConversation: main_->openConversation(); break;
    case MenuCommand::importMaterials: main_->importMaterials(); break;
    case MenuCommand::switchView:
      if (const auto* view = std::get_if<std::string>(&argument)) runPageCommand("view." + *view);
      break;
    case MenuCommand::toggleSticky: toggleSticky(); break;
    case MenuCommand::setStickyLevel: setStickyLevel(argument); break;
    case MenuCommand::raiseSticky: moveSticky(true); break;
    case MenuCommand::lowerSticky: moveSticky(false); break;
    case MenuCommand::setStickySpaceScope: setStickySpaceScope(argument); break;
    case MenuCommand::setStickyOpacity: setStickyOpacity(argument); break;
    case MenuCommand::showAbout: showAbout(); break;
    case MenuCommand::activityTogglePause:
    case MenuCommand::activityClear:
    case MenuCommand::activitySettings:
      if (activity_) activity_->perform(command, argument);
      break;
    default: break;
  }
}

void AppDelegate::runPageCommand(const std::string& name) {
  main_->show();
  main_->runCommand(name, pageCommandRetries);
}

// The window announces its new visibility, and the status menu follows from that.
void AppDelegate::toggleSticky() {
  if (sticky_->isVisible()) {
    sticky_->hide();
  } else {
    sticky_->show();
  }
}

void AppDelegate::setStickyLevel(const MenuArgument& argument) {
  std::optional<StickyLevel> level;
  if (const auto* tag = std::get_if<int64_t>(&argument)) level = stickyLevelFromRaw(*tag);
  sticky_->setLevel(level.value_or(StickyLevel::floating));
}

void AppDelegate::moveSticky(bool up) {
  const StickyLevel current = sticky_->level();
  if (auto next = up ? higher(current) : lower(current)) sticky_->setLevel(*next);
}

void AppDelegate::setStickySpaceScope(const MenuArgument& argument) {
  std::optional<StickySpaceScope> scope;
  if (const auto* tag = std::get_if<int64_t>(&argument)) scope = stickySpaceScopeFromRaw(*tag);
  sticky_->setSpaceScope(scope.value_or(StickySpaceScope::current));
}

void AppDelegate::setStickyOpacity(const MenuArgument& argument) {
  double opacity = 1.0;
  if (const auto* number = std::get_if<double>(&argument)) {
    opacity = *number;
  } else if (const auto* whole = std::get_if<int64_t>(&argument)) {
    opacity = static_cast<double>(*whole);
  }
  sticky_->setOpacity(opacity);
}

void AppDelegate::showAbout() {
  desktop_.showAbout(AboutInfo{identity_.productName, identity_.version, std::string(AppIdentity::aboutCredits)});
  desktop_.activateApplication();
}

}  // namespace tovarin
