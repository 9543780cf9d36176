#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "main/app/AppDelegate.h"
#include "main/server/ServerStartupDiagnosis.h"
#include "tests/main/app/RecordingAppParts.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

class AppDelegateTest : public ::testing::Test {
 protected:
  void makeDelegate(bool autoStart = true) {
    AppConfig config("/srv/tovarin", 4321, autoStart);
    delegate_ = AppDelegate::create(config, AppDelegate::Identity{"岚笺", "1.2.3"}, loop_, loop_, parts_, desktop_);
  }
  void launch(bool autoStart = true) {
    makeDelegate(autoStart);
    delegate_->didFinishLaunching();
    loop_.runUntilIdle();
  }
  // The journal entries from index `mark` on.
  Journal since(size_t mark) const { return Journal(journal_.begin() + static_cast<long>(mark), journal_.end()); }
  bool logged(const std::string& line) const { return logs_.contains("[orvik] " + line); }
  size_t count(const std::string& entry) const { return std::count(journal_.begin(), journal_.end(), entry); }
  const MenuItem& statusItemTitled(std::string_view prefix) const {
    for (const auto& item : desktop_.statusMenu) {
      if (item.title.rfind(prefix, 0) == 0) return item;
    }
    static const MenuItem none;
    ADD_FAILURE() << "no status item " << prefix;
    return none;
  }
  static ServerStartupFacts someFacts() {
    ServerStartupFacts facts;
    facts.port = 4321;
    facts.autoStartEnabled = true;
    facts.nodeFound = true;
    facts.childAlive = true;
    return facts;
  }

  ManualLoop loop_;
  FakeServerSupervisor server_;
  Journal journal_;
  RecordingAppParts parts_{server_, journal_};
  RecordingAppDesktop desktop_{journal_};
  std::shared_ptr<AppDelegate> delegate_;
  LogRecorder logs_;  // last: stops recording before the parts above go
};

const Journal kReadySteps = {"watcher.start", "watcher.reloadWidgets", "presence.start", "sticky.syncFromServer"};

Journal concat(Journal a, const Journal& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(AppDelegateTest, LaunchMakesPartsInOrderThenMenusFrontAndHealthCheck) {
  launch();
  EXPECT_EQ(journal_, (Journal{
                          "makeServer",
                          "configureVoice",
                          "makeWatcher",
                          "makePresence 60",
                          "makeMainWindow",
                          "makeStickyWindow",
                          "sticky.setOnLevelChanged",
                          "sticky.setOnVisibilityChanged",
                          "sticky.setOnNavigate",
                          "sticky.setOnShowMain",
                          "watcher.setOnChange",
                          "desktop.installMainMenu",
                          "desktop.createStatusItem 岚笺",
                          "desktop.setStatusMenu",
                          "main.orderFrontAtLaunch",
                          "desktop.activate",
                          "server.checkHealth",
                      }));
  EXPECT_TRUE(logged("launch: projectRoot=/srv/tovarin port=4321"));
  ASSERT_EQ(desktop_.mainMenu.size(), 5u);
  EXPECT_EQ(desktop_.mainMenu[0].children.front().title, "关于 岚笺");
  EXPECT_EQ(desktop_.menuTarget.lock(), delegate_);
  EXPECT_EQ(desktop_.statusTarget.lock(), delegate_);
  EXPECT_EQ(statusItemTitled("打开").title, "打开岚笺");
  EXPECT_EQ(statusItemTitled("显示浮窗").command, MenuCommand::toggleSticky);
  EXPECT_FALSE(delegate_->shouldTerminateAfterLastWindowClosed());

  // A second launch event changes nothing.
  const size_t mark = journal_.size();
  delegate_->didFinishLaunching();
  EXPECT_TRUE(since(mark).empty());
}

TEST_F(AppDelegateTest, HealthyAtLaunchStartsNothingQueuesLoadsThenReadySteps) {
  launch();
  const size_t mark = journal_.size();
  ASSERT_TRUE(server_.completeHealth(true));
  EXPECT_TRUE(since(mark).empty()) << "window work waits for the main loop";
  loop_.runUntilIdle();
  EXPECT_EQ(since(mark), concat({"main.load", "main.afterLoadSettles"}, kReadySteps));
  parts_.main->settleLoad();
  EXPECT_EQ(journal_.back(), "sticky.load") << "the sticky page loads once the main page has";
  EXPECT_EQ(server_.startCount(), 0);
  EXPECT_EQ(server_.pendingWaits(), 0u);
  EXPECT_EQ(server_.factsCount(), 0);
}

// A main page that neither loads nor fails keeps the sticky page waiting only so long,
// and the sticky page loads once whichever comes first.
TEST_F(AppDelegateTest, TheStickyPageLoadsOnceAfterTheMainPageOrAfterAWhile) {
  launch();
  ASSERT_TRUE(server_.completeHealth(true));
  loop_.runUntilIdle();
  const size_t mark = journal_.size();
  loop_.advance(AppDelegate::stickyLoadLatest - 0.5);
  EXPECT_TRUE(since(mark).empty());
  loop_.advance(1.0);
  EXPECT_EQ(since(mark), Journal{"sticky.load"});
  parts_.main->settleLoad();
  EXPECT_EQ(since(mark), Journal{"sticky.load"});
}

TEST_F(AppDelegateTest, DownWithAutoStartThenReadyForceLoadsAndRunsReadySteps) {
  server_.setStartResult(true);
  launch();
  const size_t mark = journal_.size();
  ASSERT_TRUE(server_.completeHealth(false));
  EXPECT_EQ(since(mark), (Journal{"server.start", "server.waitUntilReady 12"}));
  EXPECT_EQ(server_.waitTimeouts(), std::vector<double>{12});
  ASSERT_TRUE(server_.completeWait(true));
  loop_.runUntilIdle();
  EXPECT_EQ(since(mark), concat({"server.start", "server.waitUntilReady 12", "main.load force", "main.afterLoadSettles"},
                                kReadySteps));
  parts_.main->settleLoad();
  EXPECT_EQ(journal_.back(), "sticky.load");
}

TEST_F(AppDelegateTest, StartedButNeverReadyShowsFreshNoticeAfterTheWait) {
  server_.setStartResult(true);
  launch();
  ASSERT_TRUE(server_.completeHealth(false));
  ASSERT_TRUE(server_.completeWait(false));
  loop_.runUntilIdle();
  ASSERT_EQ(server_.pendingFacts(), 1u);
  const size_t mark = journal_.size();
  ASSERT_TRUE(server_.completeFacts(someFacts()));
  loop_.runUntilIdle();
  EXPECT_EQ(since(mark), (Journal{"main.showOffline", "sticky.showOffline"}));
  const auto expected = ServerStartupDiagnosis::notice(someFacts(), "打开岚笺时等本机服务就绪", false);
  ASSERT_EQ(parts_.main->notices.size(), 1u);
  EXPECT_EQ(parts_.main->notices[0], expected);
  EXPECT_FALSE(parts_.main->notices[0].retried);
  ASSERT_EQ(parts_.sticky->notices.size(), 1u);
  EXPECT_EQ(parts_.sticky->notices[0], expected);
  for (const auto& step : kReadySteps) EXPECT_EQ(count(step), 0u) << step;
}

// A launch that ended offline: when a window later finds the server usable (a retry
// after a port conflict, a slow start that recovers), the change stream, widget
// reloads, presence and the sticky sync start then, once.
TEST_F(AppDelegateTest, AServerThatBecomesUsableAfterAnOfflineLaunchStartsTheReadyStepsOnce) {
  launch();
  ASSERT_TRUE(server_.completeHealth(false));
  loop_.runUntilIdle();
  ASSERT_TRUE(server_.completeFacts(someFacts()));
  loop_.runUntilIdle();
  for (const auto& step : kReadySteps) ASSERT_EQ(count(step), 0u) << step;

  ASSERT_TRUE(parts_.mainServer);
  std::optional<bool> seen;
  parts_.mainServer->checkHealth([&](bool usable) { seen = usable; });
  ASSERT_TRUE(server_.completeHealth(true));
  loop_.runUntilIdle();
  EXPECT_EQ(seen, true) << "the window still gets its answer";
  for (const auto& step : kReadySteps) EXPECT_EQ(count(step), 1u) << step;

  parts_.mainServer->waitUntilReady(12, [](bool) {});
  ASSERT_TRUE(server_.completeWait(true));
  parts_.mainServer->checkHealth([](bool) {});
  ASSERT_TRUE(server_.completeHealth(true));
  loop_.runUntilIdle();
  for (const auto& step : kReadySteps) EXPECT_EQ(count(step), 1u) << step;
}

TEST_F(AppDelegateTest, NoReadyStepsAfterTermination) {
  launch();
  delegate_->willTerminate();
  parts_.mainServer->checkHealth([](bool) {});
  ASSERT_TRUE(server_.completeHealth(false));
  ASSERT_TRUE(server_.completeHealth(true));
  loop_.runUntilIdle();
  for (const auto& step : kReadySteps) EXPECT_EQ(count(step), 0u) << step;
}

TEST_F(AppDelegateTest, NothingStartedShowsLaunchNoticeWithoutWaiting) {
  struct Case {
    const char* name;
    bool autoStart;
    bool startLaunches;
    int expectedStarts;
  };
  for (const Case c : {Case{"auto-start off", false, true, 0}, Case{"start refused", true, false, 1}}) {
    SCOPED_TRACE(c.name);
    journal_.clear();
    server_ = FakeServerSupervisor();
    server_.setStartResult(c.startLaunches);
    launch(c.autoStart);
    ASSERT_TRUE(server_.completeHealth(false));
    EXPECT_EQ(server_.startCount(), c.expectedStarts);
    EXPECT_EQ(server_.pendingWaits(), 0u);
    ASSERT_TRUE(server_.completeFacts(someFacts()));
    loop_.runUntilIdle();
    const auto expected = ServerStartupDiagnosis::notice(someFacts(), "打开岚笺时", false);
    ASSERT_EQ(parts_.main->notices.size(), 1u);
    EXPECT_EQ(parts_.main->notices[0], expected);
    ASSERT_EQ(parts_.sticky->notices.size(), 1u);
    EXPECT_EQ(parts_.sticky->notices[0], expected);
    // The windows' own recovery may load the pages later; the stream and presence stay off.
    loop_.advance(3600);
    for (const auto& step : kReadySteps) EXPECT_EQ(count(step), 0u) << step;
  }
}

TEST_F(AppDelegateTest, JoinsTheWaitWhenTheServerIsAlreadyUnderway) {
  // A URL-opened launch showed the main window first, whose own check started the
  // server; the launch check must not give up because start() refuses now.
  struct Case {
    const char* name;
    bool waiting;
    bool childRunning;
    bool autoStart;
  };
  for (const Case c : {Case{"readiness wait running", true, false, true}, Case{"child alive", false, true, true},
                       Case{"child alive, auto-start off", false, true, false}}) {
    SCOPED_TRACE(c.name);
    journal_.clear();
    server_ = FakeServerSupervisor();
    server_.setWaitingForReadiness(c.waiting);
    server_.setChildRunning(c.childRunning);
    launch(c.autoStart);
    const size_t mark = journal_.size();
    ASSERT_TRUE(server_.completeHealth(false));
    EXPECT_EQ(server_.startCount(), 0);
    EXPECT_EQ(since(mark), (Journal{"server.waitUntilReady 12"}));
    server_.setWaitingForReadiness(false);
    ASSERT_TRUE(server_.completeWait(true));
    loop_.runUntilIdle();
    EXPECT_EQ(since(mark), concat({"server.waitUntilReady 12", "main.load force", "main.afterLoadSettles"}, kReadySteps));
    parts_.main->settleLoad();
    EXPECT_EQ(journal_.back(), "sticky.load");
  }
}

TEST_F(AppDelegateTest, DelegateGoneBeforeTheAnswersDoesNothing) {
  server_.setStartResult(true);
  launch();
  ASSERT_TRUE(server_.completeHealth(false));
  auto main = parts_.main;
  delegate_.reset();
  const size_t mark = journal_.size();
  ASSERT_TRUE(server_.completeWait(true));
  loop_.runUntilIdle();
  EXPECT_TRUE(since(mark).empty());

  journal_.clear();
  launch();
  auto second = journal_.size();
  delegate_.reset();
  ASSERT_TRUE(server_.completeHealth(true));
  loop_.runUntilIdle();
  EXPECT_EQ(journal_.size(), second);
}

TEST_F(AppDelegateTest, UrlsBeforeLaunchWaitAndTheLaterOneIsRoutedLast) {
  makeDelegate();
  delegate_->openUrls({"the-tovarin://chat"});
  delegate_->openUrls({"the-tovarin://tasks", "the-tovarin://agenda"});
  delegate_->openUrls({});
  EXPECT_EQ(delegate_->pendingUrl(), std::optional<std::string>("the-tovarin://tasks"));
  EXPECT_TRUE(journal_.empty());
  delegate_->didFinishLaunching();
  const Journal tail(journal_.end() - 5, journal_.end());
  EXPECT_EQ(tail, (Journal{"main.orderFrontAtLaunch", "desktop.activate", "server.checkHealth", "main.show",
                           "main.runCommand view.tasks 40"}));
  EXPECT_EQ(delegate_->pendingUrl(), std::nullopt);
  EXPECT_EQ(count("main.openConversation"), 0u);
  EXPECT_TRUE(logged("open url host=tasks"));
}

TEST_F(AppDelegateTest, UrlsAfterLaunchRouteAtOnceByHost) {
  launch();
  struct Case {
    std::vector<std::string> urls;
    Journal expected;
  };
  const std::vector<Case> cases = {
      {{"the-tovarin://chat"}, {"main.show", "main.openConversation"}},
      {{"the-tovarin://quickadd"}, {"main.show", "main.runCommand quickadd.open 40"}},
      {{"the-tovarin://tasks"}, {"main.show", "main.runCommand view.tasks 40"}},
      {{"the-tovarin://agenda"}, {"main.show", "main.runCommand view.agenda 40", "main.runCommand nav.today 40"}},
      {{"the-tovarin://today"}, {"main.show", "main.runCommand view.agenda 40", "main.runCommand nav.today 40"}},
      {{"the-tovarin://open"}, {"main.show"}},
      {{"the-tovarin:"}, {"main.show"}},
      {{"the-tovarin://TASKS"}, {"main.show"}},
      {{"the-tovarin://tasks", "the-tovarin://chat"}, {"main.show", "main.runCommand view.tasks 40"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    const size_t mark = journal_.size();
    delegate_->openUrls(c.urls);
    EXPECT_EQ(since(mark), c.expected) << (c.urls.empty() ? "(none)" : c.urls.front());
  }
  EXPECT_TRUE(logged("open url host=open"));
  EXPECT_TRUE(logged("open url host=-"));
}

// A crafted link must not forge log lines: its host is logged on the one line, escaped.
TEST_F(AppDelegateTest, AUrlHostWithALineBreakLogsOneLine) {
  launch();
  delegate_->openUrls({"the-tovarin://x\n[orvik] presence forged/"});
  EXPECT_TRUE(logged("open url host=x\\n[orvik] presence forged"));
}

TEST_F(AppDelegateTest, ReopenShowsTheMainWindow) {
  makeDelegate();
  delegate_->reopen();
  EXPECT_TRUE(journal_.empty());
  delegate_->didFinishLaunching();
  const size_t mark = journal_.size();
  delegate_->reopen();
  EXPECT_EQ(since(mark), (Journal{"main.show"}));
}

TEST_F(AppDelegateTest, TerminationStopsInOrderOnceEvenAfterAnOfflineLaunch) {
  launch(false);
  ASSERT_TRUE(server_.completeHealth(false));
  ASSERT_TRUE(server_.completeFacts(someFacts()));
  loop_.runUntilIdle();
  const size_t mark = journal_.size();
  delegate_->willTerminate();
  delegate_->willTerminate();
  EXPECT_EQ(since(mark), (Journal{"silenceVoice", "presence.stop", "watcher.stop", "server.stop"}));
}

TEST_F(AppDelegateTest, LosingTheFocusSilencesVoiceOnlyWhileRunning) {
  makeDelegate();
  delegate_->willResignActive();  // before launch: nothing to silence
  EXPECT_TRUE(journal_.empty());
  launch();
  size_t mark = journal_.size();
  delegate_->willResignActive();
  EXPECT_EQ(since(mark), (Journal{"silenceVoice"}));
  delegate_->willTerminate();
  mark = journal_.size();
  delegate_->willResignActive();
  EXPECT_TRUE(since(mark).empty());
}

TEST_F(AppDelegateTest, ActivityRecordStartsBeforeTheServerSitsInTheStatusMenuAndStopsFirst) {
  parts_.withActivity = true;
  launch();
  ASSERT_GE(journal_.size(), 4u);
  EXPECT_EQ(Journal(journal_.begin(), journal_.begin() + 4),
            (Journal{"makeActivity", "activity.bootstrap", "activity.setOnChange", "makeServer"}));

  // Between separators, right after the opacity submenu.
  const auto& menu = desktop_.statusMenu;
  auto item = std::find_if(menu.begin(), menu.end(), [](const MenuItem& each) { return each.title == "活动记录"; });
  ASSERT_NE(item, menu.end());
  ASSERT_TRUE(item != menu.begin() && item + 1 != menu.end());
  EXPECT_EQ((item - 1)->kind, MenuItem::Kind::separator);
  EXPECT_EQ((item + 1)->kind, MenuItem::Kind::separator);
  EXPECT_EQ((item - 2)->title, "浮窗不透明度");

  // A change of the record rebuilds the menu with the new title.
  const size_t beforeChange = journal_.size();
  parts_.activity->title = "活动记录 · 记录中";
  parts_.activity->onChange();
  EXPECT_EQ(since(beforeChange), (Journal{"desktop.setStatusMenu"}));
  EXPECT_EQ(statusItemTitled("活动记录").title, "活动记录 · 记录中");

  delegate_->perform(MenuCommand::activityClear, std::string("lastHour"));
  delegate_->perform(MenuCommand::activitySettings, {});
  EXPECT_EQ(count("activity.perform activity-clear lastHour"), 1u);
  EXPECT_EQ(count("activity.perform activity-settings"), 1u);

  const size_t mark = journal_.size();
  delegate_->willTerminate();
  EXPECT_EQ(since(mark), (Journal{"activity.shutdown", "silenceVoice", "presence.stop", "watcher.stop", "server.stop"}));
}

TEST_F(AppDelegateTest, TerminationBeforeLaunchSkipsWhatIsUnset) {
  makeDelegate();
  delegate_->willTerminate();
  EXPECT_TRUE(journal_.empty());
}

TEST_F(AppDelegateTest, MenuCommandsDriveTheWindows) {
  launch();
  struct Case {
    MenuCommand command;
    MenuArgument argument;
    Journal expected;
  };
  const std::vector<Case> cases = {
      {MenuCommand::showMain, {}, {"main.show"}},
      {MenuCommand::reloadApp, {}, {"main.reload"}},
      {MenuCommand::openConversation, {}, {"main.openConversation"}},
      {MenuCommand::importMaterials, {}, {"main.importMaterials"}},
      {MenuCommand::openTasks, {}, {"main.show", "main.runCommand view.tasks 40"}},
      {MenuCommand::openMatters, {}, {"main.show", "main.runCommand view.matters 40"}},
      {MenuCommand::openCalendar, {}, {"main.show", "main.runCommand view.month 40"}},
      {MenuCommand::newEvent, {}, {"main.show", "main.runCommand event.new 40"}},
      {MenuCommand::quickAdd, {}, {"main.show", "main.runCommand quickadd.open 40"}},
      {MenuCommand::goToday, {}, {"main.show", "main.runCommand nav.today 40"}},
      {MenuCommand::focusSearch, {}, {"main.show", "main.runCommand search.focus 40"}},
      {MenuCommand::openPalette, {}, {"main.show", "main.runCommand palette.open 40"}},
      {MenuCommand::openSettings, {}, {"main.show", "main.runCommand app.settings 40"}},
      {MenuCommand::openAiSettings, {}, {"main.show", "main.runCommand ai.configure 40"}},
      {MenuCommand::openKelmCenter, {}, {"main.show", "main.runCommand kelm.center 40"}},
      {MenuCommand::switchView, std::string("week"), {"main.show", "main.runCommand view.week 40"}},
      {MenuCommand::switchView, int64_t{2}, {}},
      {MenuCommand::switchView, {}, {}},
      {MenuCommand::setStickyLevel, int64_t{3}, {"sticky.setLevel topmost", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyLevel, int64_t{2}, {"sticky.setLevel desktop", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyLevel, int64_t{9}, {"sticky.setLevel floating", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyLevel, std::string("main"), {"sticky.setLevel floating", "desktop.setStatusMenu"}},
      {MenuCommand::setStickySpaceScope, int64_t{1}, {"sticky.setSpaceScope all", "desktop.setStatusMenu"}},
      {MenuCommand::setStickySpaceScope, int64_t{-1}, {"sticky.setSpaceScope current", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyOpacity, 0.75, {"sticky.setOpacity 0.750000", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyOpacity, std::string("0.6"), {"sticky.setOpacity 1.000000", "desktop.setStatusMenu"}},
      {MenuCommand::setStickyOpacity, {}, {"sticky.setOpacity 1.000000", "desktop.setStatusMenu"}},
      {MenuCommand::quit, {}, {}},
      {MenuCommand::copy, {}, {}},
      {MenuCommand::none, {}, {}},
  };
  for (const auto& c : cases) {
    const size_t mark = journal_.size();
    delegate_->perform(c.command, c.argument);
    EXPECT_EQ(since(mark), c.expected) << MenuCommands::actionName(c.command);
  }
}

TEST_F(AppDelegateTest, RaiseAndLowerFollowTheLevelAndItsNeighbours) {
  launch();
  struct Case {
    StickyLevel level;
    bool canRaise;
    bool canLower;
    std::string raisedTo;  // empty: no move
    std::string loweredTo;
  };
  const std::vector<Case> cases = {
      {StickyLevel::topmost, false, true, "", "floating"},
      {StickyLevel::floating, true, true, "topmost", "main"},
      {StickyLevel::main, true, true, "floating", "normal"},
      {StickyLevel::normal, true, true, "main", "desktop"},
      {StickyLevel::desktop, true, false, "normal", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(settingName(c.level)));
    parts_.sticky->currentLevel = c.level;
    EXPECT_EQ(delegate_->isEnabled(MenuCommand::raiseSticky), c.canRaise);
    EXPECT_EQ(delegate_->isEnabled(MenuCommand::lowerSticky), c.canLower);
    EXPECT_TRUE(delegate_->isEnabled(MenuCommand::toggleSticky));

    delegate_->rebuildStatusMenu();
    const auto& levels = statusItemTitled("浮窗层级").children;
    ASSERT_EQ(levels.size(), 8u);
    EXPECT_EQ(levels[6].enabled, c.canRaise);
    EXPECT_EQ(levels[7].enabled, c.canLower);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(levels[i].checked, allStickyLevels[i] == c.level);

    for (const auto& [command, target] : {std::pair{MenuCommand::raiseSticky, c.raisedTo},
                                          std::pair{MenuCommand::lowerSticky, c.loweredTo}}) {
      parts_.sticky->currentLevel = c.level;
      const size_t mark = journal_.size();
      delegate_->perform(command, {});
      const Journal moved = since(mark);
      if (target.empty()) {
        EXPECT_TRUE(moved.empty());
      } else {
        ASSERT_FALSE(moved.empty());
        EXPECT_EQ(moved.front(), "sticky.setLevel " + target);
      }
    }
  }
}

TEST_F(AppDelegateTest, ToggleStickyFlipsWindowAndMenuTitle) {
  launch();
  EXPECT_EQ(desktop_.statusMenu[4].title, "显示浮窗便利贴");
  delegate_->perform(MenuCommand::toggleSticky, {});
  EXPECT_TRUE(parts_.sticky->visible);
  EXPECT_EQ(desktop_.statusMenu[4].title, "隐藏浮窗便利贴");
  delegate_->perform(MenuCommand::toggleSticky, {});
  EXPECT_FALSE(parts_.sticky->visible);
  EXPECT_EQ(desktop_.statusMenu[4].title, "显示浮窗便利贴");
}

// The server's saved setting shows the window at launch, the close button hides it: the
// menu's item names the opposite of what is on screen either way.
TEST_F(AppDelegateTest, TheStickyItemFollowsTheWindowWhoeverShowsOrHidesIt) {
  launch();
  EXPECT_EQ(desktop_.statusMenu[4].title, "显示浮窗便利贴");
  parts_.sticky->becomeVisible(true);
  EXPECT_EQ(desktop_.statusMenu[4].title, "隐藏浮窗便利贴");
  parts_.sticky->becomeVisible(false);
  EXPECT_EQ(desktop_.statusMenu[4].title, "显示浮窗便利贴");

  delegate_.reset();
  const size_t mark = journal_.size();
  parts_.sticky->becomeVisible(true);
  EXPECT_TRUE(since(mark).empty()) << "held weakly";
}

TEST_F(AppDelegateTest, CallbacksFromStickyAndWatcher) {
  launch();
  size_t mark = journal_.size();
  parts_.sticky->onNavigate({{"surface", "chat"}, {"cardId", "c-9"}});
  EXPECT_EQ(since(mark), (Journal{"main.show", "main.navigate cardId=c-9 surface=chat 40"}));

  mark = journal_.size();
  parts_.sticky->onShowMain();
  EXPECT_EQ(since(mark), (Journal{"main.show"}));

  mark = journal_.size();
  parts_.watcher->onChange();
  EXPECT_EQ(since(mark), (Journal{"sticky.syncFromServer", "desktop.setStatusMenu"}));

  // Opacity and scope changes made elsewhere move the check marks.
  parts_.sticky->currentOpacity = 0.905;
  parts_.sticky->currentScope = StickySpaceScope::all;
  parts_.sticky->onLevelChanged();
  const auto& opacity = statusItemTitled("浮窗不透明度").children;
  EXPECT_TRUE(opacity[1].checked);
  EXPECT_FALSE(opacity[0].checked);
  const auto& scopes = statusItemTitled("浮窗显示范围").children;
  EXPECT_FALSE(scopes[0].checked);
  EXPECT_TRUE(scopes[1].checked);

  // Callbacks hold the delegate weakly.
  delegate_.reset();
  mark = journal_.size();
  parts_.sticky->onNavigate({{"surface", "tasks"}});
  parts_.sticky->onShowMain();
  parts_.watcher->onChange();
  parts_.sticky->onLevelChanged();
  EXPECT_TRUE(since(mark).empty());
}

TEST_F(AppDelegateTest, AboutShowsNameVersionCreditsAndActivates) {
  launch();
  const size_t mark = journal_.size();
  delegate_->perform(MenuCommand::showAbout, {});
  EXPECT_EQ(since(mark), (Journal{"desktop.showAbout", "desktop.activate"}));
  EXPECT_EQ(desktop_.about.name, "岚笺");
  EXPECT_EQ(desktop_.about.version, "1.2.3");
  EXPECT_EQ(desktop_.about.credits,
            "Hub、对话、事项与日历。\n登录后可按设置同步至 KELM；使用智能功能时，按授权向所选服务发送内容。");
}

}  // namespace
}  // namespace tovarin
