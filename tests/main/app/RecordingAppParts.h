#pragma once

#include <variant>

// Recording stand-ins for the parts the application delegate drives: each call lands in
// one shared journal, so tests can check the order across parts. Test thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "main/app/AppParts.h"
#include "main/desktop/AppDesktop.h"
#include "main/desktop/MenuItem.h"
#include "tests/support/FakeServerSupervisor.h"

namespace tovarin {

using Journal = std::vector<std::string>;

// Forwards to a drivable FakeServerSupervisor and journals start and stop.
class JournalingSupervisor final : public ServerSupervisor {
 public:
  JournalingSupervisor(FakeServerSupervisor& fake, Journal& journal) : fake_(fake), journal_(journal) {}
  void checkHealth(std::function<void(bool)> completion) override {
    journal_.push_back("server.checkHealth");
    fake_.checkHealth(std::move(completion));
  }
  bool start() override {
    journal_.push_back("server.start");
    return fake_.start();
  }
  bool isWaitingForReadiness() const override { return fake_.isWaitingForReadiness(); }
  bool childIsRunning() const override { return fake_.childIsRunning(); }
  bool autoStartEnabled() const override { return fake_.autoStartEnabled(); }
  void waitUntilReady(double timeout, std::function<void(bool)> completion) override {
    journal_.push_back("server.waitUntilReady " + std::to_string(static_cast<int>(timeout)));
    fake_.waitUntilReady(timeout, std::move(completion));
  }
  void startupFacts(std::function<void(ServerStartupFacts)> completion) override {
    fake_.startupFacts(std::move(completion));
  }
  void stop() override {
    journal_.push_back("server.stop");
    fake_.stop();
  }
  bool restart() override {
    journal_.push_back("server.restart");
    return fake_.restart();
  }

 private:
  FakeServerSupervisor& fake_;
  Journal& journal_;
};

class RecordingMainWindow final : public AppMainWindow {
 public:
  explicit RecordingMainWindow(Journal& journal) : journal_(journal) {}
  void show() override { journal_.push_back("main.show"); }
  void orderFrontAtLaunch() override { journal_.push_back("main.orderFrontAtLaunch"); }
  void load(bool force) override { journal_.push_back(force ? "main.load force" : "main.load"); }
  void afterLoadSettles(std::function<void()> then) override {
    journal_.push_back("main.afterLoadSettles");
    afterLoad.push_back(std::move(then));
  }
  // The main page's load finished or failed.
  void settleLoad() {
    for (auto& then : std::exchange(afterLoad, {})) then();
  }
  void reload() override { journal_.push_back("main.reload"); }
  void showOffline(const StartupNotice& notice) override {
    notices.push_back(notice);
    journal_.push_back("main.showOffline");
  }
  void runCommand(const std::string& name, int retries) override {
    journal_.push_back("main.runCommand " + name + " " + std::to_string(retries));
  }
  void navigate(const std::map<std::string, std::string>& target, int retries) override {
    std::string text;
    for (const auto& [key, value] : target) text += " " + key + "=" + value;
    journal_.push_back("main.navigate" + text + " " + std::to_string(retries));
  }
  void openConversation() override { journal_.push_back("main.openConversation"); }
  void importMaterials() override { journal_.push_back("main.importMaterials"); }

  std::vector<StartupNotice> notices;
  std::vector<std::function<void()>> afterLoad;

 private:
  Journal& journal_;
};

class RecordingStickyWindow final : public AppStickyWindow {
 public:
  explicit RecordingStickyWindow(Journal& journal) : journal_(journal) {}
  void show() override {
    journal_.push_back("sticky.show");
    becomeVisible(true);
  }
  void hide() override {
    journal_.push_back("sticky.hide");
    becomeVisible(false);
  }
  // The window comes on screen or goes off it, and says so when that is a change: also
  // what the server's settings and the close button do, without the delegate asking.
  void becomeVisible(bool shown) {
    if (visible == shown) return;
    visible = shown;
    if (onVisibilityChanged) onVisibilityChanged();
  }
  bool isVisible() const override { return visible; }
  StickyLevel level() const override { return currentLevel; }
  void setLevel(StickyLevel level) override {
    journal_.push_back("sticky.setLevel " + std::string(settingName(level)));
    currentLevel = level;
    if (onLevelChanged) onLevelChanged();
  }
  StickySpaceScope spaceScope() const override { return currentScope; }
  void setSpaceScope(StickySpaceScope scope) override {
    journal_.push_back("sticky.setSpaceScope " + std::string(settingName(scope)));
    currentScope = scope;
    if (onLevelChanged) onLevelChanged();
  }
  double opacity() const override { return currentOpacity; }
  void setOpacity(double opacity) override {
    journal_.push_back("sticky.setOpacity " + std::to_string(opacity));
    currentOpacity = opacity;
    if (onLevelChanged) onLevelChanged();
  }
  void load() override { journal_.push_back("sticky.load"); }
  void showOffline(const StartupNotice& notice) override {
    notices.push_back(notice);
    journal_.push_back("sticky.showOffline");
  }
  void syncFromServer() override { journal_.push_back("sticky.syncFromServer"); }
  void setOnLevelChanged(std::function<void()> callback) override {
    journal_.push_back("sticky.setOnLevelChanged");
    onLevelChanged = std::move(callback);
  }
  void setOnVisibilityChanged(std::function<void()> callback) override {
    journal_.push_back("sticky.setOnVisibilityChanged");
    onVisibilityChanged = std::move(callback);
  }
  void setOnNavigate(std::function<void(const std::map<std::string, std::string>&)> callback) override {
    journal_.push_back("sticky.setOnNavigate");
    onNavigate = std::move(callback);
  }
  void setOnShowMain(std::function<void()> callback) override {
    journal_.push_back("sticky.setOnShowMain");
    onShowMain = std::move(callback);
  }

  bool visible = false;
  StickyLevel currentLevel = StickyLevel::floating;
  StickySpaceScope currentScope = StickySpaceScope::current;
  double currentOpacity = 1.0;
  std::function<void()> onLevelChanged;
  std::function<void()> onVisibilityChanged;
  std::function<void(const std::map<std::string, std::string>&)> onNavigate;
  std::function<void()> onShowMain;
  std::vector<StartupNotice> notices;

 private:
  Journal& journal_;
};

class RecordingWatcher final : public AppChangeWatcher {
 public:
  explicit RecordingWatcher(Journal& journal) : journal_(journal) {}
  void start() override { journal_.push_back("watcher.start"); }
  void stop() override { journal_.push_back("watcher.stop"); }
  void reloadWidgets() override { journal_.push_back("watcher.reloadWidgets"); }
  void setOnChange(std::function<void()> callback) override {
    journal_.push_back("watcher.setOnChange");
    onChange = std::move(callback);
  }
  std::function<void()> onChange;

 private:
  Journal& journal_;
};

class RecordingPresence final : public AppPresence {
 public:
  explicit RecordingPresence(Journal& journal) : journal_(journal) {}
  void start() override { journal_.push_back("presence.start"); }
  void stop() override { journal_.push_back("presence.stop"); }

 private:
  Journal& journal_;
};

// The activity record, as far as the delegate sees it.
class RecordingActivity final : public AppActivity {
 public:
  explicit RecordingActivity(Journal& journal) : journal_(journal) {}
  void bootstrap() override { journal_.push_back("activity.bootstrap"); }
  void shutdown() override { journal_.push_back("activity.shutdown"); }
  MenuItem statusMenuItem() override {
    return MenuItem::submenu(title, {MenuItem::action("活动记录设置…", MenuCommand::activitySettings)});
  }
  void perform(MenuCommand command, const MenuArgument& argument) override {
    std::string entry = "activity.perform " + std::string(MenuCommands::actionName(command));
    if (const auto* text = std::get_if<std::string>(&argument)) entry += " " + *text;
    journal_.push_back(entry);
  }
  void setOnChange(std::function<void()> onChange) override {
    journal_.push_back("activity.setOnChange");
    this->onChange = std::move(onChange);
  }

  std::string title = "活动记录";
  std::function<void()> onChange;

 private:
  Journal& journal_;
};

class RecordingAppParts final : public AppParts {
 public:
  RecordingAppParts(FakeServerSupervisor& server, Journal& journal) : server_(server), journal_(journal) {}
  // Only tests that ask for the activity record get one.
  bool withActivity = false;
  std::shared_ptr<RecordingActivity> activity;
  std::shared_ptr<AppActivity> makeActivity() override {
    if (!withActivity) return nullptr;
    journal_.push_back("makeActivity");
    activity = std::make_shared<RecordingActivity>(journal_);
    return activity;
  }
  std::shared_ptr<ServerSupervisor> makeServer() override {
    journal_.push_back("makeServer");
    return std::make_shared<JournalingSupervisor>(server_, journal_);
  }
  std::shared_ptr<AppChangeWatcher> makeWatcher() override {
    journal_.push_back("makeWatcher");
    watcher = std::make_shared<RecordingWatcher>(journal_);
    return watcher;
  }
  std::shared_ptr<AppPresence> makePresence(double interval) override {
    journal_.push_back("makePresence " + std::to_string(static_cast<int>(interval)));
    presence = std::make_shared<RecordingPresence>(journal_);
    return presence;
  }
  std::shared_ptr<AppMainWindow> makeMainWindow(std::shared_ptr<ServerSupervisor> server) override {
    journal_.push_back(server ? "makeMainWindow" : "makeMainWindow without server");
    mainServer = server;
    main = std::make_shared<RecordingMainWindow>(journal_);
    return main;
  }
  std::shared_ptr<AppStickyWindow> makeStickyWindow(std::shared_ptr<ServerSupervisor> server) override {
    journal_.push_back(server ? "makeStickyWindow" : "makeStickyWindow without server");
    sticky = std::make_shared<RecordingStickyWindow>(journal_);
    return sticky;
  }
  void configureVoice() override { journal_.push_back("configureVoice"); }
  void silenceVoice() override { journal_.push_back("silenceVoice"); }

  // What the main window was given to reach the server through.
  std::shared_ptr<ServerSupervisor> mainServer;
  std::shared_ptr<RecordingWatcher> watcher;
  std::shared_ptr<RecordingPresence> presence;
  std::shared_ptr<RecordingMainWindow> main;
  std::shared_ptr<RecordingStickyWindow> sticky;

 private:
  FakeServerSupervisor& server_;
  Journal& journal_;
};

class RecordingAppDesktop final : public AppDesktop {
 public:
  explicit RecordingAppDesktop(Journal& journal) : journal_(journal) {}
  void installMainMenu(const std::vector<MenuItem>& menus, std::weak_ptr<AppMenuTarget> target) override {
    journal_.push_back("desktop.installMainMenu");
    mainMenu = menus;
    menuTarget = std::move(target);
  }
  void createStatusItem(const std::string& productName, std::weak_ptr<AppMenuTarget> target) override {
    journal_.push_back("desktop.createStatusItem " + productName);
    statusTarget = std::move(target);
  }
  void setStatusMenu(const std::vector<MenuItem>& items) override {
    journal_.push_back("desktop.setStatusMenu");
    statusMenu = items;
  }
  void showAbout(const AboutInfo& info) override {
    journal_.push_back("desktop.showAbout");
    about = info;
  }
  void activateApplication() override { journal_.push_back("desktop.activate"); }

  std::vector<MenuItem> mainMenu;
  std::vector<MenuItem> statusMenu;
  std::weak_ptr<AppMenuTarget> menuTarget;
  std::weak_ptr<AppMenuTarget> statusTarget;
  AboutInfo about;

 private:
  Journal& journal_;
};

}  // namespace tovarin
