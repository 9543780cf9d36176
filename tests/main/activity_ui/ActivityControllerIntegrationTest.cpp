#include "main/activity_ui/ActivityController.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Json.h"
#include "main/activity/ActivityBridgeEnvironment.h"
#include "main/activity/MemoryKeyStore.h"
#include "tests/support/FakeActivityCapturePlatform.h"
#include "tests/support/FakeActivityUiDesktop.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

namespace Env = ActivityBridgeEnvironment;
using Kind = ActivityStatus::Kind;

const std::string kOwner(64, 'c');
constexpr std::size_t kConfirm = 0;
constexpr std::size_t kCancel = 1;

struct Cookie {
  std::string host, name, value, path;
};

// A controller over a real record (store, service and bridge in a temporary folder);
// only the desktop, the page cookies and the dialogs are the test's.
class ActivityControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { environment_->set("PATH", "/usr/bin"); }
  void TearDown() override {
    if (controller_) controller_->shutdown();
  }

  ActivityController& make(std::string socketPath = {}) {
    ActivityRecord::Options options;
    options.directory = dir_.path() + "/Activity";
    options.keyStore = keys_;
    options.serverEnvironment = environment_;
    options.platform = platform_;
    options.setPageCookie = [this](const std::string& host, const std::string& name, const std::string& value,
                                   const std::string& path) { cookies_.push_back({host, name, value, path}); };
    options.socketPath = socketPath.empty() ? dir_.path() + "/bridge.sock" : socketPath;
    options.allowPeer = [](pid_t) { return true; };
    controller_ = ActivityController::create(loop_, ActivityRecord::create(loop_, defaults_, std::move(options)),
                                             {panels_, ui_});
    controller_->setOnPublish([this] { published_.push_back(controller_->status()); });
    return *controller_;
  }

  // Lets work and the main loop hand results to each other until both are quiet.
  void settle() {
    for (int round = 0; round < 6; ++round) {
      controller_->record()->drainWork();
      loop_.runUntilIdle();
    }
  }

  // Launches with an owner reported by the local server and the record switched on.
  ActivityController& recording() {
    make();
    controller_->bootstrap();
    settle();
    (void)controller_->record()->service()->handle(ActivityBridgeRequest::ownerReport(kOwner));
    controller_->setEnabled(true);
    settle();
    EXPECT_EQ(controller_->status().kind, Kind::recording);
    return *controller_;
  }

  void storeSettings(const ActivitySettings& settings) {
    defaults_.setString(ActivityRecord::settingsKey, toJsonText(settings.toJson()));
  }
  void answerLastAlert(std::size_t button) { panels_->answerAlert(panels_->alerts().size() - 1, button); }
  std::optional<std::string> lastResult() { return controller_->model().lastResult(); }

  TempDir dir_;
  ManualLoop loop_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  std::shared_ptr<MemoryKeyStore> keys_ = std::make_shared<MemoryKeyStore>();
  std::shared_ptr<ProcessEnvironment> environment_ = std::make_shared<ProcessEnvironment>(std::vector<std::string>{});
  std::shared_ptr<FakePanelPresenter> panels_ = std::make_shared<FakePanelPresenter>();
  std::shared_ptr<FakeActivityCapturePlatform> platform_ = std::make_shared<FakeActivityCapturePlatform>(loop_);
  std::shared_ptr<FakeActivityUiDesktop> ui_ = std::make_shared<FakeActivityUiDesktop>();
  std::vector<Cookie> cookies_;
  std::shared_ptr<ActivityController> controller_;
  std::vector<ActivityStatus> published_;
};

TEST_F(ActivityControllerTest, LaunchWithTheRecordOffStartsBridgeAndCookiesButNoCapture) {
  make();
  EXPECT_FALSE(environment_->get(Env::socketKey));  // construction starts nothing
  controller_->bootstrap();
  controller_->bootstrap();
  settle();
  EXPECT_EQ(controller_->status(), ActivityStatus::of(Kind::off));
  EXPECT_EQ(controller_->menuTitle(), "活动记录");
  EXPECT_EQ(platform_->capturesMade, 1);
  ASSERT_TRUE(platform_->capture);
  EXPECT_FALSE(platform_->capture->isRunning());
  EXPECT_TRUE(controller_->record()->bridgeListening());

  const auto socket = environment_->get(Env::socketKey);
  const auto token = environment_->get(Env::tokenKey);
  const auto pageHash = environment_->get(Env::pageHashKey);
  ASSERT_TRUE(socket && token && pageHash);
  EXPECT_EQ(*socket, dir_.path() + "/bridge.sock");
  ASSERT_EQ(cookies_.size(), 2u);
  EXPECT_EQ(cookies_[0].host, "127.0.0.1");
  EXPECT_EQ(cookies_[1].host, "localhost");
  for (const auto& cookie : cookies_) {
    EXPECT_EQ(cookie.name, "tovarin_activity");
    EXPECT_EQ(cookie.path, "/api/activity");
    EXPECT_EQ(cookie.value, cookies_[0].value);
    EXPECT_NE(cookie.value, *token);  // the page never holds the bridge's own token
    EXPECT_EQ(Env::sha256Hex(cookie.value), *pageHash);
  }
}

TEST_F(ActivityControllerTest, AnEnabledRecordShowsOpeningUntilTheLaunchOpenIsApplied) {
  recording();
  controller_->shutdown();
  controller_.reset();
  published_.clear();

  make();  // the next launch, with the record on and its database on disk
  controller_->bootstrap();
  EXPECT_EQ(controller_->status().kind, Kind::opening);
  EXPECT_EQ(controller_->menuTitle(), "活动记录 · 正在打开");
  settle();
  ASSERT_GE(published_.size(), 2u);
  // Snapshots the service published while opening still showed the opening.
  for (std::size_t i = 0; i + 1 < published_.size(); ++i) EXPECT_EQ(published_[i].kind, Kind::opening) << i;
  EXPECT_EQ(published_.back().kind, Kind::waitingForAccount);  // nobody has reported the account yet
  EXPECT_TRUE(controller_->snapshot().settings.enabled);
}

TEST_F(ActivityControllerTest, ABridgeThatCannotStartLeavesNoEnvironmentNoCookieAndTheRecordStillOpens) {
  Env::exportTo(*environment_, "/stale.sock", "stale", "stale");
  ActivitySettings settings;
  settings.enabled = true;
  storeSettings(settings);
  LogRecorder log;
  make(dir_.path() + "/" + std::string(200, 'x') + ".sock");
  controller_->bootstrap();
  settle();
  EXPECT_FALSE(environment_->get(Env::socketKey));
  EXPECT_FALSE(environment_->get(Env::tokenKey));
  EXPECT_FALSE(environment_->get(Env::pageHashKey));
  EXPECT_TRUE(cookies_.empty());
  EXPECT_EQ(log.matching("[orvik] activity bridge unavailable: ").size(), 1u);
  EXPECT_FALSE(controller_->record()->bridgeListening());
  EXPECT_NE(controller_->status().kind, Kind::opening);
  EXPECT_EQ(platform_->capturesMade, 1);
}

TEST_F(ActivityControllerTest, SettingsAreStoredOnlyWhileTheyDifferFromTheDefaults) {
  recording();
  const auto stored = defaults_.string(ActivityRecord::settingsKey);
  ASSERT_TRUE(stored);
  const auto parsed = parseJson(*stored);
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(ActivitySettings::fromJson(*parsed)->enabled);
  EXPECT_TRUE(platform_->capture->isRunning());

  controller_->setEnabled(false);
  ASSERT_EQ(panels_->alerts().size(), 1u);
  answerLastAlert(kConfirm);
  settle();
  EXPECT_FALSE(defaults_.contains(ActivityRecord::settingsKey));
}

TEST_F(ActivityControllerTest, TurningOffAsksAndACancelSpringsBackWhileAConfirmStopsCaptureFirst) {
  recording();
  published_.clear();
  controller_->setEnabled(false);
  ASSERT_EQ(panels_->alerts().size(), 1u);
  const AlertPanel& panel = panels_->alerts()[0].panel;
  EXPECT_EQ(panel.messageText, "关闭并删除全部活动记录？");
  EXPECT_EQ(panel.buttons, (std::vector<std::string>{"关闭并删除", "取消"}));
  EXPECT_EQ(panel.destructiveButton, 0u);
  EXPECT_EQ(panel.returnButton, 1u);
  answerLastAlert(kCancel);
  settle();
  EXPECT_EQ(published_.size(), 1u);  // republished so a switch springs back
  EXPECT_TRUE(controller_->snapshot().settings.enabled);
  EXPECT_TRUE(platform_->capture->isRunning());

  controller_->setEnabled(false);
  answerLastAlert(kConfirm);
  EXPECT_FALSE(platform_->capture->isRunning());  // before the deletion is even queued
  settle();
  EXPECT_EQ(controller_->status().kind, Kind::off);
  ASSERT_TRUE(lastResult());
  EXPECT_TRUE(lastResult()->starts_with("已关闭，删除了 ")) << *lastResult();
  EXPECT_FALSE(controller_->model().destroyFailed());
  EXPECT_EQ(controller_->model().stored(), "");
}

TEST_F(ActivityControllerTest, SubmenuClearsShortRangesAtOnceAndAsksBeforeClearingAll) {
  recording();
  controller_->performSubmenu(ActivitySubmenu::Action::clear, ClearRange::last10Minutes);
  settle();
  EXPECT_TRUE(panels_->alerts().empty());
  EXPECT_EQ(lastResult(), "已清除最近 10 分钟：删除 0 段记录、0 份小时摘要");

  controller_->performSubmenu(ActivitySubmenu::Action::clear, ClearRange::all);
  ASSERT_EQ(panels_->alerts().size(), 1u);
  EXPECT_EQ(panels_->alerts()[0].panel.messageText, "清除全部活动记录？");
  answerLastAlert(kCancel);
  settle();
  EXPECT_EQ(lastResult(), "已清除最近 10 分钟：删除 0 段记录、0 份小时摘要");

  controller_->performSubmenu(ActivitySubmenu::Action::clear, ClearRange::all);
  answerLastAlert(kConfirm);
  settle();
  EXPECT_EQ(lastResult(), "已清除全部：删除 0 段记录、0 份小时摘要");
  EXPECT_EQ(controller_->model().stored(), "这台电脑上现有 0 段记录、0 份小时摘要");
}

TEST_F(ActivityControllerTest, PauseFromTheSubmenuTogglesAndIsShownInIt) {
  recording();
  controller_->performSubmenu(ActivitySubmenu::Action::togglePause, std::nullopt);
  settle();
  EXPECT_EQ(controller_->status().kind, Kind::paused);
  EXPECT_EQ(controller_->submenu()[2].title, "继续记录");
  EXPECT_FALSE(platform_->capture->isRunning());
  controller_->performSubmenu(ActivitySubmenu::Action::togglePause, std::nullopt);
  settle();
  EXPECT_EQ(controller_->status().kind, Kind::recording);
  EXPECT_TRUE(platform_->capture->isRunning());
}

TEST_F(ActivityControllerTest, ActionsWhoseRequirementFailsDoNothing) {
  make();
  controller_->bootstrap();
  settle();
  controller_->clear(ClearRange::all);
  controller_->confirmRebind();
  controller_->confirmResetAfterKeyLoss();
  controller_->setEnabled(false);
  controller_->setIncluded("org.gnome.Calculator", true);
  controller_->setRetentionDays(3);
  controller_->addApp();
  settle();
  EXPECT_TRUE(panels_->alerts().empty());
  EXPECT_FALSE(ui_->pendingChoice);
  EXPECT_EQ(controller_->snapshot().settings, ActivitySettings());
  EXPECT_EQ(lastResult(), std::nullopt);

  recording();
  controller_->confirmResetAfterKeyLoss();  // the store is ready: nothing to recover
  EXPECT_TRUE(panels_->alerts().empty());
}

TEST_F(ActivityControllerTest, IncludedAppsRetentionAndAddedApps) {
  recording();
  controller_->setIncluded("org.signal.Signal", true);
  settle();
  EXPECT_EQ(lastResult(), "通讯与会议类 App 默认排除，不能勾选。");
  EXPECT_TRUE(controller_->snapshot().settings.included.empty());

  controller_->setIncluded("org.gnome.Calculator", true);
  controller_->setIncluded("org.gnome.TextEditor", true);
  controller_->setIncluded("ORG.GNOME.CALCULATOR", true);
  settle();
  EXPECT_EQ(controller_->snapshot().settings.included,
            (std::vector<std::string>{"org.gnome.TextEditor", "ORG.GNOME.CALCULATOR"}));
  controller_->setIncluded("org.gnome.calculator", false);
  settle();
  EXPECT_EQ(controller_->snapshot().settings.included, (std::vector<std::string>{"org.gnome.TextEditor"}));

  controller_->setRetentionDays(0);
  settle();
  EXPECT_EQ(controller_->snapshot().settings.retentionDays, 1);
  controller_->setRetentionDays(90);
  settle();
  EXPECT_EQ(controller_->snapshot().settings.retentionDays, 30);

  controller_->addApp();
  ASSERT_TRUE(ui_->pendingChoice);
  std::exchange(ui_->pendingChoice, nullptr)(std::vector<ActivityUiDesktop::ChosenApp>{
      {"org.gnome.Nautilus", "Files"}, {"org.signal.Signal", "Signal"}, {"com.orvik.thetovarin", "TheTovarin"},
      {std::nullopt, "notes.txt"}, {"ORG.GNOME.TEXTEDITOR", "Text Editor"}});
  EXPECT_EQ(lastResult(), "默认排除，没有添加：Signal（通讯与会议）");
  settle();
  EXPECT_EQ(controller_->snapshot().settings.included,
            (std::vector<std::string>{"org.gnome.TextEditor", "org.gnome.Nautilus"}));
  ASSERT_EQ(controller_->model().apps().size(), 2u);
  EXPECT_TRUE(controller_->model().apps()[0].included);
}

TEST_F(ActivityControllerTest, FrontAppNamesTheStatusOnlyWhileItIsRecorded) {
  recording();
  controller_->setIncluded("org.gnome.TextEditor", true);
  settle();
  ASSERT_TRUE(platform_->capture->isRunning());
  platform_->xDesktop->frontmost = RunningApplication{41, "org.gnome.TextEditor", "Text Editor", 7};
  platform_->workspace->post(WorkspaceNotification::applicationActivated, {platform_->xDesktop->frontmost});
  settle();
  EXPECT_EQ(controller_->status().statusLine(), "正在记录：Text Editor");
  EXPECT_EQ(controller_->menuTitle(), "活动记录 · 记录中");
  platform_->xDesktop->frontmost = RunningApplication{42, "org.gnome.Nautilus", "Files", 8};
  platform_->workspace->post(WorkspaceNotification::applicationActivated, {platform_->xDesktop->frontmost});
  settle();
  EXPECT_EQ(controller_->status().statusLine(), "正在记录 · 当前 App 不在勾选范围");
}

TEST_F(ActivityControllerTest, SettingsWindowPollsOnlyWhileOpenAndProbesTickedBrowsers) {
  recording();
  controller_->setIncluded("firefox", true);
  controller_->setIncluded("chromium", true);
  controller_->setBrowserDomains(true);
  settle();
  platform_->automationCodes = {{"firefox", 0}, {"chromium", -1744}};
  controller_->showSettings();
  controller_->showSettings();
  settle();
  EXPECT_EQ(ui_->windowShows, 2);
  EXPECT_TRUE(controller_->pollRunning());
  const auto& automation = controller_->model().automation();
  EXPECT_EQ(automation.at("firefox"), ActivityAutomation::allowed);
  EXPECT_EQ(automation.at("chromium"), ActivityAutomation::notAsked);

  const std::size_t probes = platform_->probedIds().size();
  loop_.advance(2.0);
  settle();
  EXPECT_EQ(platform_->probedIds().size(), probes + 2);  // one poll, however often the window was shown
  ui_->onWindowClosed();
  EXPECT_FALSE(controller_->pollRunning());
  const std::size_t afterClose = platform_->probedIds().size();
  loop_.advance(4.0);
  settle();
  EXPECT_EQ(platform_->probedIds().size(), afterClose);

  controller_->setBrowserDomains(false);
  settle();
  controller_->refreshPermissions();
  EXPECT_TRUE(controller_->model().automation().empty());
}

TEST_F(ActivityControllerTest, ShutdownRunsQueuedWorkFirstThenStopsEverything) {
  recording();
  const std::string socket = *environment_->get(Env::socketKey);
  controller_->setPaused(true);  // queued, not yet run
  controller_->shutdown();
  EXPECT_TRUE(controller_->record()->service()->snapshot().settings.paused);
  EXPECT_FALSE(platform_->capture->isRunning());
  EXPECT_FALSE(controller_->record()->bridgeListening());
  EXPECT_FALSE(std::filesystem::exists(socket));
  EXPECT_FALSE(environment_->get(Env::socketKey));
  EXPECT_FALSE(environment_->get(Env::tokenKey));
  EXPECT_FALSE(environment_->get(Env::pageHashKey));
  loop_.advance(60.0);  // no maintenance after shutdown
  loop_.runUntilIdle();
  EXPECT_FALSE(controller_->pollRunning());
}

TEST_F(ActivityControllerTest, ShutdownWithoutLaunchStillClearsTheEnvironment) {
  Env::exportTo(*environment_, "/left.sock", "t", "p");
  make();
  controller_->shutdown();
  EXPECT_FALSE(environment_->get(Env::socketKey));
  EXPECT_FALSE(environment_->get(Env::pageHashKey));
}

}  // namespace
}  // namespace tovarin
