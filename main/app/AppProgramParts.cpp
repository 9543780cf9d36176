#include "main/app/AppProgramParts.h"

#include "main/changes/ChangeWatcher.h"
#include "main/presence/PresenceBeacon.h"
#include "main/presence/PresenceReporter.h"
#include "main/voice/RelayVoiceCloudTransport.h"
#include "main/voice/VoiceBridge.h"
#include "main/windows/MainWindowController.h"
#include "main/windows/StickySettingsRoundTrip.h"
#include "main/windows/StickyWindowController.h"
#include "platform/gtk/SheetPresenter.h"
#include "platform/gtk/UserFolders.h"

namespace tovarin {
namespace {

class MainWindowPart final : public AppMainWindow {
 public:
  explicit MainWindowPart(std::shared_ptr<MainWindowController> controller) : controller_(std::move(controller)) {}
  void show() override { controller_->show(); }
  void orderFrontAtLaunch() override { controller_->window()->show(); }
  void load(bool force) override { controller_->load(force); }
  void afterLoadSettles(std::function<void()> then) override { controller_->afterLoadSettles(std::move(then)); }
  void reload() override { controller_->reload(); }
  void showOffline(const StartupNotice& notice) override { controller_->showOffline(notice); }
  void runCommand(const std::string& name, int retries) override { controller_->runCommand(name, retries); }
  void navigate(const std::map<std::string, std::string>& target, int retries) override {
    controller_->navigate(target, retries);
  }
  void openConversation() override { controller_->openConversation(); }
  void importMaterials() override { controller_->importMaterials(); }

 private:
  std::shared_ptr<MainWindowController> controller_;
};

class StickyWindowPart final : public AppStickyWindow {
 public:
  explicit StickyWindowPart(std::shared_ptr<StickyWindowController> controller) : controller_(std::move(controller)) {}
  void show() override { controller_->show(); }
  void hide() override { controller_->hide(); }
  bool isVisible() const override { return controller_->isVisible(); }
  StickyLevel level() const override { return controller_->level(); }
  void setLevel(StickyLevel level) override { controller_->setLevel(level); }
  StickySpaceScope spaceScope() const override { return controller_->spaceScope(); }
  void setSpaceScope(StickySpaceScope scope) override { controller_->setSpaceScope(scope); }
  double opacity() const override { return controller_->opacity(); }
  void setOpacity(double opacity) override { controller_->setOpacity(opacity); }
  void load() override { controller_->load(); }
  void showOffline(const StartupNotice& notice) override { controller_->showOffline(notice); }
  void syncFromServer() override { controller_->syncFromServer(); }
  void setOnLevelChanged(std::function<void()> callback) override { controller_->onLevelChanged = std::move(callback); }
  void setOnVisibilityChanged(std::function<void()> callback) override {
    controller_->onVisibilityChanged = std::move(callback);
  }
  void setOnNavigate(std::function<void(const std::map<std::string, std::string>&)> callback) override {
    controller_->onNavigate = std::move(callback);
  }
  void setOnShowMain(std::function<void()> callback) override { controller_->onShowMain = std::move(callback); }

 private:
  std::shared_ptr<StickyWindowController> controller_;
};

class WatcherPart final : public AppChangeWatcher {
 public:
  explicit WatcherPart(std::shared_ptr<ChangeWatcher> watcher) : watcher_(std::move(watcher)) {}
  ~WatcherPart() override { watcher_->stop(); }
  void start() override { watcher_->start(); }
  void stop() override { watcher_->stop(); }
  void reloadWidgets() override { watcher_->reloadWidgets(); }
  void setOnChange(std::function<void()> callback) override { watcher_->setOnChange(std::move(callback)); }

 private:
  std::shared_ptr<ChangeWatcher> watcher_;
};

class PresencePart final : public AppPresence {
 public:
  explicit PresencePart(std::shared_ptr<PresenceReporter> reporter) : reporter_(std::move(reporter)) {}
  void start() override { reporter_->start(); }
  void stop() override { reporter_->stop(); }

 private:
  std::shared_ptr<PresenceReporter> reporter_;
};

}  // namespace

AppProgramParts::AppProgramParts(AppConfig config, Services services, ServerController::Options serverOptions)
    : config_(std::move(config)), services_(std::move(services)), serverOptions_(std::move(serverOptions)) {}

AppProgramParts::~AppProgramParts() = default;

PageHost::Services AppProgramParts::pageServices(std::shared_ptr<ServerSupervisor> server,
                                                std::shared_ptr<PanelPresenter> panels) {
  return {services_.loop,      services_.background,    std::move(server),
          services_.desktop,   services_.webViews,      services_.accessibility,
          std::move(panels),   WebPanels::Folders{UserFolders::downloads(), UserFolders::temporary()}};
}

std::shared_ptr<ServerSupervisor> AppProgramParts::makeServer() {
  server_ = ServerController::create(config_, services_.http, services_.loop, serverOptions_);
  return server_;
}

std::shared_ptr<AppChangeWatcher> AppProgramParts::makeWatcher() {
  watcher_ = ChangeWatcher::create(config_.port, services_.eventStream, services_.widgets, watcherQueue_,
                                   services_.loop);
  return std::make_shared<WatcherPart>(watcher_);
}

std::shared_ptr<AppPresence> AppProgramParts::makePresence(double intervalSeconds) {
  presence_ = PresenceReporter::create(PresenceBeacon(config_.port, *services_.http), services_.presenceProbe,
                                       presenceQueue_, intervalSeconds);
  return std::make_shared<PresencePart>(presence_);
}

std::shared_ptr<AppMainWindow> AppProgramParts::makeMainWindow(std::shared_ptr<ServerSupervisor> server) {
  main_ = MainWindowController::create(
      config_, MainWindowController::Services{
                   pageServices(std::move(server),
                                std::make_shared<SheetPresenter>(services_.loop, SheetPresenter::Attachment::sheets)),
                   services_.defaults, services_.capture, services_.voice});
  if (services_.capture && services_.makeDropHost) {
    services_.capture->setDropHost(services_.makeDropHost(*main_->window(), *main_->webView()));
  }
  return std::make_shared<MainWindowPart>(main_);
}

std::shared_ptr<AppStickyWindow> AppProgramParts::makeStickyWindow(std::shared_ptr<ServerSupervisor> server) {
  sticky_ = StickyWindowController::create(
      config_, StickyWindowController::Services{pageServices(std::move(server), services_.stickyPanels),
                                                services_.defaults, services_.chromeSurfaces, services_.voice});
  stickySettings_ = StickySettingsRoundTrip::create(
      config_.dataURL(),
      StickySettingsRoundTrip::Services{services_.loop, stickySettingsQueue_, services_.http, services_.stickyPanels},
      sticky_);
  sticky_->setSettingsExchange(stickySettings_);
  return std::make_shared<StickyWindowPart>(sticky_);
}

void AppProgramParts::configureVoice() {
  if (!services_.voice || !services_.sockets || !services_.http) return;
  VoiceBridge::configureCloud(*services_.voice, config_.port, services_.defaults,
                              [http = services_.http, sockets = services_.sockets](const std::string& base) {
                                // The relay is the local server itself: no account headers to add.
                                return std::make_shared<RelayVoiceCloudTransport>(
                                    RelayVoiceCloudTransport::Routes::localServer(), *http, *sockets,
                                    [base] { return std::optional<VoiceCloudTarget>(VoiceCloudTarget{base, {}}); });
                              });
}

void AppProgramParts::silenceVoice() {
  if (main_ && main_->voiceBridge()) main_->voiceBridge()->systemWantsSilence();
  if (sticky_ && sticky_->voiceBridge()) sticky_->voiceBridge()->systemWantsSilence();
}

}  // namespace tovarin
