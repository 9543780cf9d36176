#include "main/windows/StickyChrome.h"

#include <gtest/gtest.h>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeStickyChromeSurface.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {

inline void PrintTo(StickyZone zone, std::ostream* out) { *out << name(zone); }

namespace {

class StickyChromeTest : public ::testing::Test {
 protected:
  StickyChromeTest() {
    window_ = std::static_pointer_cast<FakeWindow>(desktop_.makeWindow(WindowStyle::borderless, {340, 460}));
    window_->setFrame({500, 200, 400, 500});
    surface_ = std::make_shared<FakeStickyChromeSurface>();
    chrome_ = StickyChrome::create(loop_, window_, surface_, [this] { return desktop_.screens(); });
    chrome_->onPointerChanged = [this](bool inside, StickyZone zone) { reports_.emplace_back(inside, zone); };
    chrome_->onPointerPressed = [this] { ++interiorPresses_; };
  }

  ManualLoop loop_;
  FakeDesktop desktop_;  // one 1440 x 900 screen, visible 1440 x 875
  std::shared_ptr<FakeWindow> window_;
  std::shared_ptr<FakeStickyChromeSurface> surface_;
  std::shared_ptr<StickyChrome> chrome_;
  std::vector<std::pair<bool, StickyZone>> reports_;
  int interiorPresses_ = 0;
};

using Report = std::pair<bool, StickyZone>;

TEST_F(StickyChromeTest, ReportsEachChangeOfInsideAndZoneOnce) {
  surface_->enter({100, 100});
  surface_->move({120, 100});
  surface_->move({5, 100});
  surface_->move({6, 120});
  surface_->move({5, 495});
  surface_->exit();
  surface_->exit();
  const std::vector<Report> expected = {{true, StickyZone::interior},
                                        {true, StickyZone::left},
                                        {true, StickyZone::topLeft},
                                        {false, StickyZone::interior}};
  EXPECT_EQ(reports_, expected);
}

TEST_F(StickyChromeTest, ResetPointerStateReportsTheWindowLeft) {
  surface_->move({5, 100});
  chrome_->resetPointerState();
  const std::vector<Report> expected = {{true, StickyZone::left}, {false, StickyZone::interior}};
  EXPECT_EQ(reports_, expected);
  EXPECT_EQ(chrome_->cursorZone(), StickyZone::interior);
  surface_->clearCursors();
  loop_.advance(0.2);
  EXPECT_TRUE(surface_->cursors().empty()) << "the cursor hold stopped";
}

TEST_F(StickyChromeTest, TheEdgeCursorIsHeldWhileThePointerStaysOnTheEdge) {
  surface_->move({100, 495});
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::resizeTop);
  surface_->clearCursors();
  loop_.advance(0.049);
  EXPECT_TRUE(surface_->cursors().empty());
  loop_.advance(0.001);
  EXPECT_EQ(surface_->cursors(), std::vector<StickyCursor>{StickyCursor::resizeTop});
  loop_.advance(0.05);
  EXPECT_EQ(surface_->cursors().size(), 2u);

  surface_->move({100, 300});
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::arrow) << "leaving an edge restores the arrow";
  surface_->clearCursors();
  loop_.advance(0.5);
  surface_->move({110, 300});
  EXPECT_TRUE(surface_->cursors().empty()) << "no hold and no arrow again inside the page";
}

TEST_F(StickyChromeTest, EveryEdgeHasItsOwnCursor) {
  const std::pair<StickyPoint, StickyCursor> rows[] = {
      {{200, 497}, StickyCursor::resizeTop},         {{200, 3}, StickyCursor::resizeBottom},
      {{3, 250}, StickyCursor::resizeLeft},          {{397, 250}, StickyCursor::resizeRight},
      {{3, 497}, StickyCursor::resizeTopLeft},       {{397, 497}, StickyCursor::resizeTopRight},
      {{3, 3}, StickyCursor::resizeBottomLeft},      {{397, 3}, StickyCursor::resizeBottomRight},
  };
  for (const auto& [point, cursor] : rows) {
    surface_->move(point);
    EXPECT_EQ(surface_->lastCursor(), cursor) << point.x << ", " << point.y;
  }
}

TEST_F(StickyChromeTest, LeavingTheWindowStopsTheCursorHold) {
  surface_->move({5, 250});
  surface_->exit();
  surface_->clearCursors();
  loop_.advance(0.3);
  EXPECT_TRUE(surface_->cursors().empty());
}

TEST_F(StickyChromeTest, ALeftEdgeDragResizesWithinTheLimitsAndKeepsTheRightEdge) {
  // The window is at x 500, so window point (5, 250) is desktop point (505, 450).
  EXPECT_EQ(surface_->press({5, 250}, 1, false, StickyPoint{505, 450}), StickyPressOutcome::handled);
  EXPECT_TRUE(chrome_->isResizing());
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::resizeLeft);
  EXPECT_EQ(interiorPresses_, 0);

  surface_->move({0, 0}, StickyPoint{555, 450});
  EXPECT_EQ(window_->frame(), (Rect{550, 200, 350, 500}));
  surface_->exit();  // the pointer may leave the window while it drags
  surface_->move({0, 0}, StickyPoint{705, 450});
  EXPECT_EQ(window_->frame(), (Rect{600, 200, 300, 500}));
  surface_->move({0, 0}, StickyPoint{695, 450});
  EXPECT_EQ(window_->frame(), (Rect{590, 200, 310, 500})) << "turning back grows at once";

  surface_->release({100, 250}, StickyPoint{695, 450});
  EXPECT_FALSE(chrome_->isResizing());
  EXPECT_EQ(window_->frame(), (Rect{590, 200, 310, 500}));
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::arrow) << "the pointer ended over the page";
}

TEST_F(StickyChromeTest, AMoveWithoutTheButtonEndsALostResize) {
  ASSERT_EQ(surface_->press({5, 250}, 1, false, StickyPoint{505, 450}), StickyPressOutcome::handled);
  surface_->move({0, 0}, StickyPoint{555, 450});
  surface_->setButtonDown(false);  // released where the window could not see it
  surface_->move({0, 0}, StickyPoint{605, 450});
  EXPECT_FALSE(chrome_->isResizing());
  surface_->move({100, 250}, StickyPoint{650, 450});
  EXPECT_EQ(window_->frame().width, 300) << "ended at the last position, then no longer followed";
  EXPECT_EQ(window_->frame().maxX(), 900);
}

TEST_F(StickyChromeTest, AResizeReleasedOutsideTheWindowReportsThePointerGone) {
  surface_->setPointer(StickyPoint{5, 250});
  surface_->move({5, 250}, StickyPoint{505, 450});
  ASSERT_EQ(surface_->press({5, 250}, 1, false, StickyPoint{505, 450}), StickyPressOutcome::handled);
  surface_->exit();  // held back: the resize goes on
  ASSERT_TRUE(chrome_->isResizing());
  surface_->releaseOutside({-40, 250}, StickyPoint{460, 450});
  EXPECT_FALSE(chrome_->isResizing());
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back(), (Report{false, StickyZone::interior}));
}

TEST_F(StickyChromeTest, ACancelledPressEndsTheResizeWhereTheLastMoveLeftIt) {
  ASSERT_EQ(surface_->press({5, 250}, 1, false, StickyPoint{505, 450}), StickyPressOutcome::handled);
  surface_->move({0, 0}, StickyPoint{555, 450});
  surface_->cancel();
  EXPECT_FALSE(chrome_->isResizing());
  EXPECT_EQ(window_->frame(), (Rect{550, 200, 350, 500}));
  surface_->move({100, 250}, StickyPoint{705, 450});
  EXPECT_EQ(window_->frame(), (Rect{550, 200, 350, 500}));
}

TEST_F(StickyChromeTest, TheTopEdgeStopsBelowTheTopOfTheVisibleFrame) {
  window_->setFrame({100, 375, 340, 400});  // bottom edge 500 points below the visible top (875)
  ASSERT_EQ(surface_->press({170, 397}, 1, false, StickyPoint{270, 772}), StickyPressOutcome::handled);
  surface_->move({0, 0}, StickyPoint{270, 1200});
  EXPECT_EQ(window_->frame(), (Rect{100, 375, 340, 500}));
  surface_->release({0, 0}, StickyPoint{270, 1200});
}

TEST_F(StickyChromeTest, ADoubleClickOnACornerTogglesTheDefaultSizeKeepingTheTopLeft) {
  window_->setFrame({500, 100, 500, 700});  // top edge at 800
  const StickyPoint topLeft{5, 695};
  EXPECT_EQ(surface_->press(topLeft, 2), StickyPressOutcome::handled);
  surface_->release(topLeft);
  EXPECT_EQ(window_->frame(), (Rect{500, 340, 340, 460}));

  surface_->press({5, 455}, 2);
  surface_->release({5, 455});
  EXPECT_EQ(window_->frame(), (Rect{500, 100, 500, 700}));

  surface_->press(topLeft, 2);
  surface_->release(topLeft);
  EXPECT_EQ(window_->frame(), (Rect{500, 340, 340, 460}));
}

TEST_F(StickyChromeTest, TheRestoredSizeIsClampedToTheScreen) {
  window_->setFrame({0, 0, 620, 1000});
  surface_->press({3, 3}, 2);
  EXPECT_EQ(window_->frame(), (Rect{0, 540, 340, 460}));
  desktop_.setScreens({Screen{{0, 0, 1000, 700}, {0, 0, 1000, 700}}});
  surface_->press({3, 3}, 2);
  EXPECT_EQ(window_->frame(), (Rect{0, 300, 620, 700})) << "the saved height no longer fits";
}

TEST_F(StickyChromeTest, ADoubleClickOnAnEdgeStartsAResizeInstead) {
  EXPECT_EQ(surface_->press({5, 250}, 2), StickyPressOutcome::handled);
  EXPECT_TRUE(chrome_->isResizing());
  EXPECT_EQ(window_->frame(), (Rect{500, 200, 400, 500}));
}

enum class Report2 { none, freshInteractive, freshPlain, staleInteractive };

TEST_F(StickyChromeTest, AnInteriorPressGoesToThePageOrDragsTheWindow) {
  struct Row {
    const char* what;
    bool active;
    bool modifier;
    Report2 report;
    StickyPoint at;  // in the 400 x 500 window
    StickyPressOutcome outcome;
    int moveDrags;
    int shows;
  };
  const Row rows[] = {
      {"first press into an inactive window", false, false, Report2::none, {200, 470}, StickyPressOutcome::toPage, 0, 1},
      {"inactive with the drag key", false, true, Report2::freshInteractive, {200, 100}, StickyPressOutcome::handled, 1, 0},
      {"drag key over an interactive element", true, true, Report2::freshInteractive, {200, 100}, StickyPressOutcome::handled, 1, 0},
      {"top strip, left of the exclusion", true, false, Report2::none, {200, 470}, StickyPressOutcome::handled, 1, 0},
      {"top strip, inside the right exclusion", true, false, Report2::none, {350, 470}, StickyPressOutcome::toPage, 0, 0},
      {"top strip edge at 44 below the top", true, false, Report2::none, {200, 456}, StickyPressOutcome::handled, 1, 0},
      {"just below the top strip", true, false, Report2::none, {200, 455}, StickyPressOutcome::toPage, 0, 0},
      {"fresh report: not interactive", true, false, Report2::freshPlain, {200, 100}, StickyPressOutcome::handled, 1, 0},
      {"fresh report: interactive", true, false, Report2::freshInteractive, {200, 470}, StickyPressOutcome::toPage, 0, 0},
      {"stale report: the top strip rules", true, false, Report2::staleInteractive, {200, 470}, StickyPressOutcome::handled, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    window_ = std::static_pointer_cast<FakeWindow>(desktop_.makeWindow(WindowStyle::borderless, {340, 460}));
    window_->setFrame({500, 200, 400, 500});
    surface_ = std::make_shared<FakeStickyChromeSurface>();
    chrome_ = StickyChrome::create(loop_, window_, surface_, [this] { return desktop_.screens(); });
    chrome_->onPointerPressed = [this] { ++interiorPresses_; };
    interiorPresses_ = 0;
    surface_->setActive(row.active);
    switch (row.report) {
      case Report2::none: break;
      case Report2::freshInteractive: chrome_->setOverInteractive(true); loop_.advance(0.599); break;
      case Report2::freshPlain: chrome_->setOverInteractive(false); break;
      case Report2::staleInteractive: chrome_->setOverInteractive(true); loop_.advance(0.6); break;
    }
    EXPECT_EQ(surface_->press(row.at, 1, row.modifier), row.outcome);
    EXPECT_EQ(window_->moveDragCount(), row.moveDrags);
    EXPECT_EQ(window_->showCount(), row.shows);
    EXPECT_EQ(interiorPresses_, 1);
    EXPECT_FALSE(chrome_->isResizing());
  }
}

TEST_F(StickyChromeTest, APressInTheInteriorStartsTheDragStateOnlyWhenGrabbable) {
  struct Row {
    bool grabbable;
    bool active;
    bool modifier;
    bool dragging;
  };
  const Row rows[] = {
      {true, true, false, true},
      {true, false, true, true},
      {true, false, false, false},
      {false, true, false, false},
      {false, true, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.grabbable << row.active << row.modifier);
    chrome_->endWindowDrag();
    chrome_->setGrabbable(row.grabbable);
    surface_->setActive(row.active);
    surface_->clearCursors();
    (void)surface_->press({200, 200}, 1, row.modifier);
    EXPECT_EQ(chrome_->isDraggingWindow(), row.dragging);
    if (row.dragging) {
      EXPECT_EQ(surface_->cursors().front(), StickyCursor::closedHand);
    }
    surface_->release({200, 200});
  }
}

TEST_F(StickyChromeTest, TheDragEndsAfterTheButtonIsSeenUpTwiceInARow) {
  chrome_->setGrabbable(true);
  surface_->enter({200, 200});
  surface_->setButtonDown(true);
  chrome_->beginWindowDrag();
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::closedHand);
  loop_.advance(0.2);
  EXPECT_TRUE(chrome_->isDraggingWindow());

  surface_->setButtonDown(false);
  loop_.advance(0.04);
  surface_->setButtonDown(true);
  loop_.advance(0.04);
  surface_->setButtonDown(false);
  loop_.advance(0.04);
  EXPECT_TRUE(chrome_->isDraggingWindow()) << "a button seen down again starts the count afresh";
  loop_.advance(0.04);
  EXPECT_FALSE(chrome_->isDraggingWindow());
  EXPECT_EQ(surface_->lastCursor(), StickyCursor::openHand);
}

TEST_F(StickyChromeTest, AMoveWithTheButtonUpEndsTheDrag) {
  surface_->enter({200, 200});
  surface_->setButtonDown(true);
  chrome_->beginWindowDrag();
  surface_->setButtonDown(false);
  surface_->move({210, 200});
  EXPECT_FALSE(chrome_->isDraggingWindow());
  EXPECT_NE(surface_->lastCursor(), StickyCursor::openHand) << "not grabbable: no open hand";
}

TEST_F(StickyChromeTest, TimersDoNothingOnceTheChromeIsGone) {
  surface_->move({5, 250});
  surface_->setButtonDown(true);
  chrome_->beginWindowDrag();
  std::weak_ptr<StickyChrome> weak = chrome_;
  chrome_.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(surface_->hasClient());
  surface_->clearCursors();
  loop_.advance(1.0);
  EXPECT_TRUE(surface_->cursors().empty());
  EXPECT_EQ(loop_.pendingTimers(), 0u);
}

}  // namespace
}  // namespace tovarin
