#include "main/activity/ActivityCapture.h"

#include <gtest/gtest.h>

#include <cmath>

#include "main/activity/BrowserScripts.h"
#include "tests/support/ActivityEventText.h"
#include "tests/support/FakeActivityDesktop.h"
#include "tests/support/FakeBrowserAutomation.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

constexpr double epoch = 1'700'000'000;

RunningApplication app(std::int32_t pid, std::optional<std::string> id, std::uint64_t window,
                       std::optional<std::string> name = std::nullopt) {
  return RunningApplication{pid, std::move(id), std::move(name), window};
}

class ActivityCaptureTest : public testing::Test {
 protected:
  ActivityCaptureTest() {
    desktop_->frontmost = app(10, "org.gnome.TextEditor", 100, "Text Editor");
    desktop_->setTitle(100, "notes.txt");
    automation_->isAvailable = false;
  }
  ~ActivityCaptureTest() override {
    desktop_->releaseAll();
    capture_.reset();
  }

  ActivityCapture::Policy readingPolicy(double idleThreshold = 300) {
    return {[this](const std::string& id) {
              titleQuestions_.push_back(id);
              return allowTitles_;
            },
            [this](const std::string&) { return allowDomains_; }, idleThreshold};
  }

  std::shared_ptr<ActivityCapture> make(double idleThreshold = 300) {
    capture_ = ActivityCapture::create(
        loop_, {workspace_, distributed_, desktop_, automation_}, readingPolicy(idleThreshold),
        [this](const ActivityEvent& event) { events_.push_back(activityEventText(event, origin_)); },
        [this] { return epoch + loop_.now(); });
    return capture_;
  }

  std::vector<std::string> take() { return std::exchange(events_, {}); }
  // Waits for the read queue's delivery to come back through the main loop.
  bool waitForEvents(size_t count) {
    return loop_.waitFor([&] { return events_.size() >= count; });
  }

  ManualLoop loop_;
  const double origin_ = epoch + loop_.now();
  std::shared_ptr<ActivityNotificationCenter> workspace_ = std::make_shared<ActivityNotificationCenter>(loop_);
  std::shared_ptr<ActivityNotificationCenter> distributed_ = std::make_shared<ActivityNotificationCenter>(loop_);
  std::shared_ptr<FakeActivityDesktop> desktop_ = std::make_shared<FakeActivityDesktop>();
  std::shared_ptr<FakeBrowserAutomation> automation_ = std::make_shared<FakeBrowserAutomation>();
  std::vector<std::string> events_;
  std::vector<std::string> titleQuestions_;
  bool allowTitles_ = true;
  bool allowDomains_ = false;
  std::shared_ptr<ActivityCapture> capture_;
};

TEST_F(ActivityCaptureTest, StartResumesEveryCaptureSuspensionThenReportsTheFrontAppAndItsTitle) {
  make()->start();
  EXPECT_TRUE(capture_->isRunning());
  ASSERT_TRUE(waitForEvents(7));
  EXPECT_EQ(take(), (std::vector<std::string>{"resume(idle)@0ms", "resume(locked)@0ms", "resume(asleep)@0ms",
                                              "resume(noAccess)@0ms", "frontmost(org.gnome.TextEditor/Text Editor)@0ms",
                                              "resume(noAccess)@0ms", "title(notes.txt,<none>,normal)@0ms"}));
}

TEST_F(ActivityCaptureTest, StartingTwiceInstallsNothingTwice) {
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  capture_->start();
  loop_.runUntilIdle();
  EXPECT_EQ(take(), std::vector<std::string>{});
  EXPECT_EQ(workspace_->observerCount(), 5u);
  EXPECT_EQ(distributed_->observerCount(), 2u);
  EXPECT_EQ(loop_.pendingTimers(), 1u);
}

TEST_F(ActivityCaptureTest, StopRemovesObserversAndSamplerAndARestartReportsAfresh) {
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  capture_->stop();
  take();
  EXPECT_FALSE(capture_->isRunning());
  EXPECT_EQ(workspace_->observerCount() + distributed_->observerCount(), 0u);
  workspace_->post(WorkspaceNotification::willSleep, {});
  distributed_->post(WorkspaceNotification::screenLocked, {});
  desktop_->setTitle(100, "other.txt");
  loop_.advance(30);
  EXPECT_EQ(take(), std::vector<std::string>{});
  EXPECT_EQ(desktop_->reads().size(), 1u);

  capture_->start();
  ASSERT_TRUE(waitForEvents(7));
  EXPECT_EQ(take(), (std::vector<std::string>{"resume(idle)@30000ms", "resume(locked)@30000ms",
                                              "resume(asleep)@30000ms", "resume(noAccess)@30000ms",
                                              "frontmost(org.gnome.TextEditor/Text Editor)@30000ms",
                                              "resume(noAccess)@30000ms", "title(other.txt,<none>,normal)@30000ms"}));
}

TEST_F(ActivityCaptureTest, DesktopNotificationsBecomeSuspensionsAndResumptions) {
  struct Case {
    bool distributed;
    WorkspaceNotification name;
    std::string event;
  };
  const Case cases[] = {
      {false, WorkspaceNotification::willSleep, "suspend(asleep)@0ms"},
      {false, WorkspaceNotification::didWake, "resume(asleep)@0ms"},
      {false, WorkspaceNotification::sessionResignedActive, "suspend(locked)@0ms"},
      {false, WorkspaceNotification::sessionBecameActive, "resume(locked)@0ms"},
      {true, WorkspaceNotification::screenLocked, "suspend(locked)@0ms"},
      {true, WorkspaceNotification::screenUnlocked, "resume(locked)@0ms"},
      // Lock notes go to their own center only.
      {false, WorkspaceNotification::screenLocked, ""},
  };
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    (c.distributed ? distributed_ : workspace_)->post(c.name, {});
    EXPECT_EQ(take(), c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event});
  }
}

TEST_F(ActivityCaptureTest, ActivationReportsTheAppAndReEmitsATitleSeenBefore) {
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  const RunningApplication terminal = app(20, "org.gnome.Terminal", 200, "Terminal");
  desktop_->setTitle(200, "~");
  desktop_->frontmost = terminal;
  workspace_->post(WorkspaceNotification::applicationActivated, {terminal});
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(take(), (std::vector<std::string>{"frontmost(org.gnome.Terminal/Terminal)@0ms", "title(~,<none>,normal)@0ms"}));

  // The same app again, as when its notification repeats: its title is sent again.
  workspace_->post(WorkspaceNotification::applicationActivated, {terminal});
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(take(), (std::vector<std::string>{"frontmost(org.gnome.Terminal/Terminal)@0ms", "title(~,<none>,normal)@0ms"}));

  loop_.advance(1);
  desktop_->frontmost = app(10, "org.gnome.TextEditor", 100, "Text Editor");
  workspace_->post(WorkspaceNotification::applicationActivated, {desktop_->frontmost});
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(take(), (std::vector<std::string>{"frontmost(org.gnome.TextEditor/Text Editor)@1000ms",
                                              "title(notes.txt,<none>,normal)@1000ms"}));
}

TEST_F(ActivityCaptureTest, AnAppWithoutIdIsReportedAsNoAppAndNotRead) {
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  const size_t readsBefore = desktop_->reads().size();
  desktop_->frontmost = app(30, std::nullopt, 300);
  workspace_->post(WorkspaceNotification::applicationActivated, {desktop_->frontmost});
  workspace_->post(WorkspaceNotification::applicationActivated, {});
  loop_.advance(3);
  EXPECT_EQ(take(), (std::vector<std::string>{"frontmost(none)@0ms", "frontmost(none)@0ms"}));
  EXPECT_EQ(desktop_->reads().size(), readsBefore);
}

TEST_F(ActivityCaptureTest, AnAppWithoutNameIsNamedByItsId) {
  desktop_->frontmost = app(10, "org.example.Tool", 100);
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  EXPECT_EQ(take()[4], "frontmost(org.example.Tool/org.example.Tool)@0ms");
}

TEST_F(ActivityCaptureTest, TheSamplerReadsEveryThreeSecondsAndEmitsOnlyChanges) {
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  loop_.advance(2.999);
  EXPECT_EQ(desktop_->reads().size(), 1u);
  loop_.advance(0.001);
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 2u; }));
  loop_.runUntilIdle();
  EXPECT_EQ(take(), std::vector<std::string>{}) << "the same title is not emitted again";

  desktop_->setTitle(100, "todo.txt");
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(take(), std::vector<std::string>{"title(todo.txt,<none>,normal)@6000ms"});

  desktop_->setTitle(100, std::nullopt);
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(take(), std::vector<std::string>{"title(<none>,<none>,normal)@9000ms"});
}

TEST_F(ActivityCaptureTest, IdleIsDatedAtTheLastInputAndComingBackReEmitsTheTitle) {
  make(300)->start();
  ASSERT_TRUE(waitForEvents(7));
  take();
  const size_t readsBefore = desktop_->reads().size();

  desktop_->idleSeconds = 299.9;
  loop_.advance(3);
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == readsBefore + 1; }));
  loop_.runUntilIdle();
  EXPECT_EQ(take(), std::vector<std::string>{}) << "below the threshold the user is active";

  desktop_->idleSeconds = 302;
  loop_.advance(3);
  EXPECT_EQ(take(), std::vector<std::string>{"suspend(idle)@-296000ms"});
  desktop_->idleSeconds = 305;
  loop_.advance(3);
  EXPECT_EQ(take(), std::vector<std::string>{}) << "idleness begins once";
  EXPECT_EQ(desktop_->reads().size(), readsBefore + 1) << "nothing is read while idle";

  desktop_->idleSeconds = 1;
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(take(), (std::vector<std::string>{"resume(idle)@11000ms", "title(notes.txt,<none>,normal)@12000ms"}));
}

TEST_F(ActivityCaptureTest, AnIdleReadingThatIsNotANumberCountsAsActive) {
  desktop_->idleSeconds = std::nan("");
  make(60)->start();
  ASSERT_TRUE(waitForEvents(7));
  EXPECT_EQ(take().back(), "title(notes.txt,<none>,normal)@0ms");
  loop_.advance(3);
  loop_.runUntilIdle();
  EXPECT_EQ(take(), std::vector<std::string>{});
}

TEST_F(ActivityCaptureTest, WithoutAccessItSuspendsOnceReadsNothingAndResumesWhenAccessReturns) {
  desktop_->trusted = false;
  make()->start();
  loop_.advance(9);
  EXPECT_EQ(take(), (std::vector<std::string>{"resume(idle)@0ms", "resume(locked)@0ms", "resume(asleep)@0ms",
                                              "resume(noAccess)@0ms", "frontmost(org.gnome.TextEditor/Text Editor)@0ms",
                                              "suspend(noAccess)@0ms"}));
  EXPECT_TRUE(desktop_->reads().empty());

  desktop_->trusted = true;
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(take(), (std::vector<std::string>{"resume(noAccess)@12000ms", "title(notes.txt,<none>,normal)@12000ms"}));
}

TEST_F(ActivityCaptureTest, APolicyThatRefusesTheTitleReadsNothingAndANewPolicyAppliesAtTheNextSample) {
  allowTitles_ = false;
  make()->start();
  loop_.advance(3);
  EXPECT_EQ(take().size(), 6u) << "no title event";
  EXPECT_TRUE(desktop_->reads().empty());
  EXPECT_EQ(titleQuestions_, (std::vector<std::string>{"org.gnome.TextEditor", "org.gnome.TextEditor"}));

  capture_->setPolicy({[](const std::string&) { return true; }, nullptr, 300});
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(take(), std::vector<std::string>{"title(notes.txt,<none>,normal)@6000ms"});
}

TEST_F(ActivityCaptureTest, OneReadAtATime) {
  desktop_->holdReads();
  make()->start();
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 1u; }));
  loop_.advance(9);
  desktop_->releaseAll();
  ASSERT_TRUE(waitForEvents(7));
  // Samples while a read was in flight queued no other: none runs after it either.
  loop_.waitFor([&] { return desktop_->reads().size() > 1u; }, 0.3);
  EXPECT_EQ(desktop_->reads().size(), 1u);
  EXPECT_EQ(desktop_->maxInFlight(), 1);
  loop_.advance(3);
  EXPECT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 2u; }));
}

TEST_F(ActivityCaptureTest, AReadForAnAppNoLongerInFrontIsDropped) {
  desktop_->holdReads();
  make()->start();
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 1u; }));
  // Another app came to the front without its notification having arrived yet.
  desktop_->frontmost = app(20, "org.gnome.Terminal", 200, "Terminal");
  desktop_->releaseOne();
  ASSERT_TRUE(loop_.waitFor([&] { return loop_.pendingTimers() == 1u && events_.size() >= 6; }));
  loop_.waitFor([] { return false; }, 0.2);
  EXPECT_EQ(take().size(), 6u) << "no title event";

  desktop_->releaseAll();
  desktop_->setTitle(200, "~");
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(1)) << "the reading flag was cleared by the dropped read";
  EXPECT_EQ(take(), std::vector<std::string>{"title(~,<none>,normal)@3000ms"});
}

TEST_F(ActivityCaptureTest, AReadFinishingAfterStopOrAfterTheCaptureIsGoneDeliversNothing) {
  desktop_->holdReads();
  make()->start();
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 1u; }));
  capture_->stop();
  take();
  desktop_->releaseOne();
  loop_.waitFor([] { return false; }, 0.2);
  EXPECT_EQ(take(), std::vector<std::string>{});

  capture_->start();
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 2u; }));
  take();
  std::weak_ptr<ActivityCapture> weak = capture_;
  desktop_->releaseOne();
  capture_.reset();  // joins the read queue: the read finishes first
  EXPECT_TRUE(weak.expired());
  loop_.runUntilIdle();
  loop_.advance(10);
  EXPECT_EQ(take(), std::vector<std::string>{});
}

TEST_F(ActivityCaptureTest, ABrowsersPageHostIsReadByScriptAndCachedForSixSeconds) {
  automation_->isAvailable = true;
  automation_->setOutput("  Incognito \nhttps://Docs.Example.com/page");
  allowDomains_ = true;
  desktop_->frontmost = app(40, "COM.Google.Chrome", 400, "Chrome");
  desktop_->setTitle(400, "Docs");
  make()->start();
  ASSERT_TRUE(waitForEvents(7));
  EXPECT_EQ(take().back(), "title(Docs,docs.example.com,incognito)@0ms");
  ASSERT_EQ(automation_->scripts().size(), 1u);
  EXPECT_EQ(automation_->scripts()[0],
            "tell application id \"com.google.Chrome\" to if (count of windows) > 0 then return (mode of front "
            "window) & linefeed & (URL of active tab of front window)");
  EXPECT_EQ(automation_->timeouts()[0], 1.5);
  EXPECT_EQ(automation_->statusQuestions()[0], std::make_pair(std::string("com.google.Chrome"), false));

  automation_->setOutput("normal\nhttps://news.example.com/other");
  loop_.advance(3);
  ASSERT_TRUE(loop_.waitFor([&] { return desktop_->reads().size() == 2u; }));
  loop_.runUntilIdle();
  EXPECT_EQ(automation_->scripts().size(), 1u) << "within 6 s the cached answer holds";
  loop_.advance(3);
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(take(), std::vector<std::string>{"title(Docs,news.example.com,normal)@6000ms"});
  EXPECT_EQ(automation_->scripts().size(), 2u);
}

TEST_F(ActivityCaptureTest, NoScriptRunsWithoutPermissionOrWhereBrowsersCannotBeScripted) {
  allowDomains_ = true;
  desktop_->frontmost = app(40, "com.brave.Browser", 400, "Brave");
  desktop_->setTitle(400, "Page");
  automation_->setOutput("normal\nhttps://example.com/");
  {
    SCOPED_TRACE("permission not granted");
    automation_->isAvailable = true;
    automation_->status = BrowserAutomation::wouldAskUser;
    make()->start();
    ASSERT_TRUE(waitForEvents(7));
    EXPECT_EQ(take().back(), "title(Page,<none>,normal)@0ms");
    EXPECT_TRUE(automation_->scripts().empty());
    EXPECT_TRUE(capture_->supportsDomain("com.brave.browser"));
    EXPECT_FALSE(capture_->supportsDomain("org.mozilla.firefox"));
  }
  {
    SCOPED_TRACE("no browser scripting on this desktop");
    automation_->isAvailable = false;
    automation_->status = BrowserAutomation::allowed;
    make()->start();
    ASSERT_TRUE(waitForEvents(7));
    EXPECT_EQ(take().back(), "title(Page,<none>,normal)@0ms");
    EXPECT_TRUE(automation_->scripts().empty());
    EXPECT_FALSE(capture_->supportsDomain("com.brave.browser"));
    EXPECT_EQ(capture_->automationStatus("com.brave.browser", false), BrowserAutomation::notRunningOrUnsupported);
  }
}

TEST_F(ActivityCaptureTest, AutomationStatusOfAnUnknownBrowserAsksNobody) {
  automation_->isAvailable = true;
  make();
  EXPECT_EQ(capture_->automationStatus("org.mozilla.firefox", true), BrowserAutomation::notRunningOrUnsupported);
  EXPECT_TRUE(automation_->statusQuestions().empty());
  EXPECT_EQ(capture_->automationStatus("com.apple.SAFARI", true), BrowserAutomation::allowed);
  EXPECT_EQ(automation_->statusQuestions(),
            (std::vector<std::pair<std::string, bool>>{{"com.apple.Safari", true}}));

  std::optional<std::int32_t> answered;
  automation_->status = BrowserAutomation::notPermitted;
  capture_->requestAutomation("com.vivaldi.vivaldi", [&](std::int32_t status) { answered = status; });
  ASSERT_TRUE(loop_.waitFor([&] { return answered.has_value(); }));
  EXPECT_EQ(*answered, BrowserAutomation::notPermitted);
  EXPECT_EQ(automation_->statusQuestions().back(), std::make_pair(std::string("com.vivaldi.Vivaldi"), true));
}

TEST(BrowserScriptsTest, ReadsTheHostAndPrivateModeFromTheOutput) {
  using BrowserScripts::Kind;
  struct Case {
    Kind kind;
    std::string output;
    std::optional<std::string> domain;
    bool incognito;
  };
  const Case cases[] = {
      {Kind::chromium, "incognito\nhttps://a.example.org/x", "a.example.org", true},
      {Kind::chromium, " \tINCOGNITO  \nhttps://a.example.org/x", "a.example.org", true},
      {Kind::chromium, "normal\nhttps://a.example.org/x", "a.example.org", false},
      {Kind::chromium, "https://a.example.org/x", "a.example.org", false},
      {Kind::chromium, "incognito\nhttps://a.example.org/\nmore", std::nullopt, false},
      {Kind::safari, "incognito\nhttps://a.example.org/x", std::nullopt, false},
      {Kind::safari, "https://b.example.org/", "b.example.org", false},
      {Kind::chromiumWithoutMode, "https://c.example.org/", "c.example.org", false},
      {Kind::chromium, "incognito\nfile:///etc/passwd", std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const auto value = BrowserScripts::parseOutput(c.kind, c.output);
    EXPECT_EQ(value.domain, c.domain);
    EXPECT_EQ(value.incognito, c.incognito);
  }
}

TEST(BrowserScriptsTest, MatchesBundleIdsIgnoringCase) {
  EXPECT_EQ(BrowserScripts::scriptable("COMPANY.thebrowser.BROWSER"),
            (BrowserScripts::Browser{"company.thebrowser.Browser", BrowserScripts::Kind::chromiumWithoutMode}));
  EXPECT_EQ(BrowserScripts::scriptable("com.microsoft.EdgeMac")->id, "com.microsoft.edgemac");
  EXPECT_EQ(BrowserScripts::scriptable("com.google.chrome.canary"), std::nullopt);
  EXPECT_EQ(BrowserScripts::source(*BrowserScripts::scriptable("com.apple.safari")),
            "tell application id \"com.apple.Safari\" to if (count of windows) > 0 then return URL of front document");
}

TEST(ActivityNotificationCenterTest, AHandlerRemovedDuringADeliveryIsNotRunAndOthersStillAre) {
  ManualLoop loop;
  auto center = std::make_shared<ActivityNotificationCenter>(loop);
  std::vector<std::string> calls;
  ActivityNotificationCenter::Token second = 0;
  (void)center->addObserver(WorkspaceNotification::didWake, [&](const WorkspaceNote&) {
    calls.push_back("first");
    center->removeObserver(second);
  });
  second = center->addObserver(WorkspaceNotification::didWake, [&](const WorkspaceNote&) { calls.push_back("second"); });
  (void)center->addObserver(WorkspaceNotification::didWake, [&](const WorkspaceNote&) { calls.push_back("third"); });
  (void)center->addObserver(WorkspaceNotification::willSleep, [&](const WorkspaceNote&) { calls.push_back("sleep"); });
  center->postFromAnyThread(WorkspaceNotification::didWake, {});
  EXPECT_TRUE(calls.empty()) << "delivered on the main loop, later";
  loop.runUntilIdle();
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third"}));

  center->postFromAnyThread(WorkspaceNotification::willSleep, {});
  center.reset();
  loop.runUntilIdle();
  EXPECT_EQ(calls.size(), 2u) << "nothing is delivered once the center is gone";
}

}  // namespace
}  // namespace tovarin
