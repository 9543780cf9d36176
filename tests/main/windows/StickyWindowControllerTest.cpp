#include "main/windows/StickyWindowController.h"

#include <gtest/gtest.h>

#include <functional>

#include "main/page/WebViewFactory.h"
#include "main/windows/FrameGuard.h"
#include "tests/main/windows/StickyWindowFixture.h"

namespace tovarin {
namespace {

using Change = RecordingSettingsExchange::Change;

class StickyWindowControllerTest : public StickyWindowFixture {};

TEST_F(StickyWindowControllerTest, BuildsABorderlessWindowOffScreenWithTheStartingPage) {
  create();
  ASSERT_TRUE(window_ && view_ && surface_);
  EXPECT_EQ(window_->style(), WindowStyle::borderless);
  EXPECT_EQ(window_->contentSize(), (Size{340, 460}));
  EXPECT_EQ(window_->minimumSize(), (Size{300, 360}));
  EXPECT_EQ(window_->maximumSize(), (Size{620, 1200}));
  EXPECT_EQ(window_->content(), view_);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(surfaces_.windows(), std::vector<Window*>{window_.get()});
  EXPECT_EQ(surfaces_.contents(), std::vector<WebView*>{view_.get()});
  EXPECT_TRUE(surface_->hasClient());

  EXPECT_TRUE(view_->options().transparent);
  EXPECT_EQ(view_->options().messageNames,
            (std::vector<std::string>{"hover", "windowState", "navigation", "voice", "download", "startup"}));
  ASSERT_EQ(view_->documentStartScripts().size(), 1u);
  EXPECT_EQ(view_->documentStartScripts()[0].rfind("document.documentElement.classList.add('is-native');", 0), 0u);
  EXPECT_TRUE(view_->loads().empty()) << "no page, so no web process, before the window shows or loads";
  EXPECT_EQ(server_->healthCheckCount(), 0) << "nothing is checked before the window shows";

  controller_->show();
  ASSERT_FALSE(view_->loads().empty());
  EXPECT_EQ(view_->loads()[0].html, WebViewFactory::startingHTML()) << "shown before its page: the starting page";
}

TEST_F(StickyWindowControllerTest, FirstPlacementIsInsetFromTheTopRightOfThePrimaryScreen) {
  desktop_.setScreens({Screen{{0, 0, 1440, 900}, {0, 0, 1440, 875}}, Screen{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}}});
  create();
  EXPECT_EQ(window_->frame(), (Rect{1440 - 340 - 24, 875 - 460 - 24, 340, 460}));
}

TEST_F(StickyWindowControllerTest, StoredFramesAreRestoredClampedOrReplaced) {
  struct Row {
    const char* what;
    std::optional<std::string> stored;
    std::vector<Screen> screens;
    Rect expected;
  };
  const std::vector<Screen> laptop = {Screen{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
  const Row rows[] = {
      {"reachable", FrameGuard::frameString({100, 120, 400, 500}), laptop, {100, 120, 400, 500}},
      {"larger than the visible frame: shrunk, top-left kept", FrameGuard::frameString({100, 0, 620, 1000}), laptop,
       {100, 125, 620, 875}},
      {"smaller than the minimum: grown, top-left kept", FrameGuard::frameString({100, 300, 200, 200}), laptop,
       {100, 140, 300, 360}},
      {"on a screen that is gone", FrameGuard::frameString({3000, 100, 400, 500}), laptop, {1076, 391, 340, 460}},
      {"unreadable", std::string("{{a, b}, {c, d}}"), laptop, {1076, 391, 340, 460}},
      {"absent", std::nullopt, laptop, {1076, 391, 340, 460}},
      {"no screens at all", std::nullopt, {}, {0, 0, 340, 460}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.stored) {
      defaults_.setString(std::string(StickyWindowController::frameKey), *row.stored);
    } else {
      defaults_.remove(std::string(StickyWindowController::frameKey));
    }
    desktop_.setScreens(row.screens);
    create();
    EXPECT_EQ(window_->frame(), row.expected);
  }
}

TEST_F(StickyWindowControllerTest, StoredLevelScopeAndOpacityAreAppliedAndBadValuesFallBack) {
  struct Row {
    const char* what;
    std::optional<int64_t> level;
    std::optional<int64_t> scope;
    std::optional<double> opacity;
    bool reduceTransparency;
    WindowStacking stacking;
    bool allWorkspaces;
    double shownOpacity;
    StickyLevel readLevel;
  };
  const Row rows[] = {
      {"nothing stored: floating, current, opaque", {}, {}, {}, false, WindowStacking::above, false, 1.0, StickyLevel::floating},
      {"desktop", 2, 0, 0.85, false, WindowStacking::below, false, 0.85, StickyLevel::desktop},
      {"normal on all workspaces", 1, 1, 0.3, false, WindowStacking::normal, true, 0.3, StickyLevel::normal},
      {"topmost", 3, 0, 1.0, false, WindowStacking::above, false, 1.0, StickyLevel::topmost},
      {"main", 4, 0, 1.0, false, WindowStacking::above, false, 1.0, StickyLevel::main},
      {"unknown level and scope", 9, 7, 0.5, false, WindowStacking::above, false, 0.5, StickyLevel::floating},
      {"opacity below the minimum", 0, 0, 0.2, false, WindowStacking::above, false, 1.0, StickyLevel::floating},
      {"opacity above opaque", 0, 0, 1.5, false, WindowStacking::above, false, 1.0, StickyLevel::floating},
      {"reduced transparency", 0, 0, 0.5, true, WindowStacking::above, false, 1.0, StickyLevel::floating},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string levelKey(StickyWindowController::levelKey);
    const std::string scopeKey(StickyWindowController::spaceScopeKey);
    const std::string opacityKey(StickyWindowController::opacityKey);
    row.level ? defaults_.setInteger(levelKey, *row.level) : defaults_.remove(levelKey);
    row.scope ? defaults_.setInteger(scopeKey, *row.scope) : defaults_.remove(scopeKey);
    row.opacity ? defaults_.setNumber(opacityKey, *row.opacity) : defaults_.remove(opacityKey);
    accessibility_.set(row.reduceTransparency, false, false);
    create();
    EXPECT_EQ(window_->stacking(), row.stacking);
    EXPECT_EQ(window_->onAllWorkspaces(), row.allWorkspaces);
    EXPECT_DOUBLE_EQ(window_->opacity(), row.shownOpacity);
    EXPECT_EQ(controller_->level(), row.readLevel);
    // Values outside their domain are read as the fallback, never rewritten.
    EXPECT_EQ(defaults_.integer(levelKey), row.level.value_or(0));
    EXPECT_EQ(defaults_.integer(scopeKey), row.scope.value_or(0));
  }
}

TEST_F(StickyWindowControllerTest, SettingALevelAppliesItAtOnceAndHandsItToTheExchange) {
  create();
  controller_->setLevel(StickyLevel::desktop);
  EXPECT_EQ(window_->stacking(), WindowStacking::below);
  EXPECT_EQ(defaults_.integer("ORVIK.stickyLevel"), 2);
  EXPECT_EQ(levelChanges_, 1);
  controller_->setLevel(StickyLevel::topmost);
  EXPECT_EQ(window_->stacking(), WindowStacking::above);
  EXPECT_EQ(defaults_.integer("ORVIK.stickyLevel"), 3);

  controller_->setSpaceScope(StickySpaceScope::all);
  EXPECT_TRUE(window_->onAllWorkspaces());
  EXPECT_EQ(defaults_.integer("ORVIK.stickySpaceScope"), 1);
  EXPECT_EQ(levelChanges_, 3);
  const std::vector<Change> expected = {{"stickyLevel", "desktop", "floating"},
                                        {"stickyLevel", "topmost", "desktop"},
                                        {"stickySpaceScope", "all", "current"}};
  EXPECT_EQ(exchange_->changes, expected);
}

TEST_F(StickyWindowControllerTest, UpdatingFromTheExchangeAppliesWithoutSendingBack) {
  create();
  controller_->updateLevel(StickyLevel::normal);
  controller_->updateSpaceScope(StickySpaceScope::all);
  EXPECT_EQ(window_->stacking(), WindowStacking::normal);
  EXPECT_TRUE(window_->onAllWorkspaces());
  EXPECT_EQ(levelChanges_, 2);
  EXPECT_TRUE(exchange_->changes.empty());
}

TEST_F(StickyWindowControllerTest, OpacityIsStoredAsGivenAndShownWithinItsRange) {
  create();
  controller_->setOpacity(0.6);
  EXPECT_DOUBLE_EQ(window_->opacity(), 0.6);
  controller_->setOpacity(0.1);
  EXPECT_DOUBLE_EQ(defaults_.number("ORVIK.stickyOpacity"), 0.1);
  EXPECT_DOUBLE_EQ(controller_->opacity(), 0.1);
  EXPECT_DOUBLE_EQ(window_->opacity(), 1.0);
  EXPECT_EQ(levelChanges_, 2);
}

TEST_F(StickyWindowControllerTest, ReducedTransparencyMakesTheWindowOpaqueUntilTurnedOff) {
  defaults_.setNumber("ORVIK.stickyOpacity", 0.5);
  create();
  EXPECT_DOUBLE_EQ(window_->opacity(), 0.5);
  accessibility_.change(true, false, false);
  EXPECT_DOUBLE_EQ(window_->opacity(), 0.5) << "applied on the next turn of the main loop";
  loop_.runUntilIdle();
  EXPECT_DOUBLE_EQ(window_->opacity(), 1.0);
  EXPECT_NE(view_->documentStartScripts().back().find("c.add('a11y-reduce-transparency');"), std::string::npos);
  accessibility_.change(false, false, false);
  loop_.runUntilIdle();
  EXPECT_DOUBLE_EQ(window_->opacity(), 0.5);
  EXPECT_EQ(view_->documentStartScripts().back().find("c.add("), std::string::npos);
}

TEST_F(StickyWindowControllerTest, ShowPutsTheWindowOnScreenAndFocusesItUnlessOnTheDesktop) {
  create();
  controller_->show();
  EXPECT_TRUE(controller_->isVisible());
  EXPECT_EQ(window_->quietOrderFrontCount(), 1);
  EXPECT_EQ(window_->showCount(), 1);
  controller_->show();
  EXPECT_EQ(window_->quietOrderFrontCount(), 1) << "a visible window is not ordered again";

  controller_->hide();
  controller_->setLevel(StickyLevel::desktop);
  controller_->show();
  EXPECT_TRUE(controller_->isVisible());
  EXPECT_EQ(window_->quietOrderFrontCount(), 2);
  EXPECT_EQ(window_->showCount(), 2) << "no focus on the desktop level";

  const std::vector<Change> expected = {{"floatingWindow", "true", "false"},
                                        {"floatingWindow", "true", "true"},
                                        {"floatingWindow", "false", "true"},
                                        {"stickyLevel", "desktop", "floating"},
                                        {"floatingWindow", "true", "false"}};
  EXPECT_EQ(exchange_->changes, expected);
}

TEST_F(StickyWindowControllerTest, ShowingPullsAnUnreachableWindowBackOnScreen) {
  create();
  window_->userMovesTo({1400, 391, 340, 460});  // 40 points left on screen
  controller_->show();
  EXPECT_EQ(window_->frame(), (Rect{1100, 391, 340, 460}));
}

TEST_F(StickyWindowControllerTest, HidingTakesTheWindowOffAndThePointerOut) {
  create();
  controller_->show();
  surface_->enter({100, 100});
  EXPECT_EQ(surface_->rings(), std::vector<bool>{true});
  controller_->hide();
  EXPECT_FALSE(controller_->isVisible());
  EXPECT_EQ(surface_->rings(), (std::vector<bool>{true, false}));
  EXPECT_EQ(exchange_->changes.back(), (Change{"floatingWindow", "false", "true"}));
}

TEST_F(StickyWindowControllerTest, ClosingThroughTheWindowManagerHides) {
  create();
  controller_->show();
  EXPECT_TRUE(window_->userCloses());
  EXPECT_FALSE(controller_->isVisible());
  EXPECT_EQ(exchange_->changes.back(), (Change{"floatingWindow", "false", "true"}));
}

// Whoever shows or hides the window (the user, the server's settings through present
// and dismiss, the close button), its owner hears of every change and of nothing else.
TEST_F(StickyWindowControllerTest, EveryChangeOfVisibilityIsAnnouncedOnce) {
  create();
  int announced = 0;
  controller_->onVisibilityChanged = [&] {
    ++announced;
    EXPECT_EQ(controller_->isVisible(), window_->isVisible()) << "announced once the change is made";
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    bool visibleAfter;
    int announcedAfter;
  };
  const std::vector<Step> steps = {
      {"the server shows it", [&] { controller_->present(); }, true, 1},
      {"shown again", [&] { controller_->present(); }, true, 1},
      {"the user shows it", [&] { controller_->show(); }, true, 1},
      {"the close button", [&] { EXPECT_TRUE(window_->userCloses()); }, false, 2},
      {"the server hides it", [&] { controller_->dismiss(); }, false, 2},
      {"the user shows it", [&] { controller_->show(); }, true, 3},
      {"the user hides it", [&] { controller_->hide(); }, false, 4},
      {"on the desktop level", [&] { controller_->setLevel(StickyLevel::desktop); controller_->show(); }, true, 5},
      {"the server hides it", [&] { controller_->dismiss(); }, false, 6},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(controller_->isVisible(), step.visibleAfter) << step.what;
    EXPECT_EQ(announced, step.announcedAfter) << step.what;
  }
}

TEST_F(StickyWindowControllerTest, EveryMoveAndResizeIsRemembered) {
  create();
  window_->userMovesTo({200, 300, 340, 460});
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(defaults_.string("ORVIK.stickyFrame"), FrameGuard::frameString({200, 300, 340, 460}));
  window_->userMovesTo({200, 300, 400, 500});
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(defaults_.string("ORVIK.stickyFrame"), FrameGuard::frameString({200, 300, 400, 500}));

  create();
  EXPECT_EQ(window_->frame(), (Rect{200, 300, 400, 500}));
}

TEST_F(StickyWindowControllerTest, AMoveWithTheButtonHeldIsAWindowDrag) {
  create();
  surface_->setButtonDown(true);
  window_->userMovesTo({200, 300, 340, 460});
  EXPECT_TRUE(controller_->chrome()->isDraggingWindow());
  controller_->chrome()->endWindowDrag();

  window_->userMovesTo({200, 300, 400, 500});
  EXPECT_FALSE(controller_->chrome()->isDraggingWindow()) << "a change of size is no drag";
  surface_->setButtonDown(false);
  window_->userMovesTo({250, 300, 400, 500});
  EXPECT_FALSE(controller_->chrome()->isDraggingWindow());
}

TEST_F(StickyWindowControllerTest, AResizeDragIsNoWindowDrag) {
  create();
  window_->userMovesTo({500, 200, 400, 500});
  ASSERT_EQ(surface_->press({5, 250}, 1, false, StickyPoint{505, 450}), StickyPressOutcome::handled);
  surface_->move({0, 0}, StickyPoint{555, 450});
  EXPECT_EQ(window_->frame(), (Rect{550, 200, 350, 500}));
  EXPECT_FALSE(controller_->chrome()->isDraggingWindow());
  surface_->release({100, 100}, StickyPoint{555, 450});
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(defaults_.string("ORVIK.stickyFrame"), FrameGuard::frameString({550, 200, 350, 500}));
}

TEST_F(StickyWindowControllerTest, AChangeOfScreensPullsTheWindowBackAndFitsItsSize) {
  desktop_.setScreens({Screen{{0, 0, 1440, 900}, {0, 0, 1440, 875}}, Screen{{1440, 0, 1920, 1200}, {1440, 0, 1920, 1200}}});
  create();
  window_->userMovesTo({2000, 100, 600, 1100});
  desktop_.setScreens({Screen{{0, 0, 1440, 900}, {0, 0, 1440, 875}}});
  window_->screensChanged();
  EXPECT_EQ(window_->frame(), (Rect{840, 0, 600, 875}));
}

TEST_F(StickyWindowControllerTest, ShowOfflineReplacesThePageOnTheNextTurn) {
  create();
  StartupNotice notice;
  notice.headline = "本机服务没有启动";
  notice.shortReason = "<b>端口</b>";
  controller_->showOffline(notice);
  EXPECT_TRUE(view_->loads().empty());
  loop_.runUntilIdle();
  EXPECT_EQ(lastHtml(), WebViewFactory::offlineHTML(notice, true));
  EXPECT_EQ(view_->lastLoad()->url, "");
}

TEST_F(StickyWindowControllerTest, LoadAsksForTheWidgetPageAfresh) {
  create();
  controller_->load();
  ASSERT_EQ(view_->lastLoad()->kind, FakeWebView::Load::Kind::url);
  EXPECT_EQ(view_->lastLoad()->url, widgetPage);
  EXPECT_DOUBLE_EQ(view_->lastLoad()->timeoutSeconds, 60);
}

TEST_F(StickyWindowControllerTest, NothingIsLeftBehindOnceTheControllerIsGone) {
  create();
  controller_->show();
  controller_->showOffline(StartupNotice{});
  std::weak_ptr<StickyWindowController> weak = controller_;
  controller_.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(server_->completeHealth(true));
  loop_.advance(5);
  EXPECT_EQ(view_->loads().size(), 1u) << "neither the reload nor the offline page";
  EXPECT_FALSE(view_->hasClient());
}

}  // namespace
}  // namespace tovarin
