#include "main/windows/StickyResizeSolver.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

// A 1440 x 900 screen whose visible frame ends 25 points below its top.
const Screen laptop{{0, 0, 1440, 900}, {0, 0, 1440, 875}};
const Rect window{500, 200, 400, 500};  // top edge at 700, right edge at 900

struct Move {
  StickyPoint mouse;
  Rect frame;
  bool clampedX;
  bool clampedY;
};

void expectMoves(StickyResizeSolver solver, const std::vector<Move>& moves) {
  for (size_t i = 0; i < moves.size(); ++i) {
    SCOPED_TRACE("move " + std::to_string(i));
    const auto step = solver.step(moves[i].mouse);
    EXPECT_EQ(step.frame, moves[i].frame);
    EXPECT_EQ(step.clampedX, moves[i].clampedX);
    EXPECT_EQ(step.clampedY, moves[i].clampedY);
  }
}

TEST(StickyResizeSolverTest, EachZoneMovesOnlyItsEdges) {
  struct Row {
    StickyZone zone;
    Rect expected;  // after the pointer moves by (+20, -30) from (700, 400)
  };
  const Row rows[] = {
      {StickyZone::right, {500, 200, 420, 500}},
      {StickyZone::left, {520, 200, 380, 500}},
      {StickyZone::top, {500, 200, 400, 470}},
      {StickyZone::bottom, {500, 170, 400, 530}},
      {StickyZone::topRight, {500, 200, 420, 470}},
      {StickyZone::topLeft, {520, 200, 380, 470}},
      {StickyZone::bottomRight, {500, 170, 420, 530}},
      {StickyZone::bottomLeft, {520, 170, 380, 530}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(name(row.zone));
    auto solver = StickyResizeSolver::begin(row.zone, window, {700, 400}, laptop);
    const auto step = solver.step({720, 370});
    EXPECT_EQ(step.frame, row.expected);
    EXPECT_FALSE(step.clampedX);
    EXPECT_FALSE(step.clampedY);
  }
}

TEST(StickyResizeSolverTest, LimitsFollowTheScreen) {
  const auto onLaptop = StickyResizeSolver::begin(StickyZone::right, window, {0, 0}, laptop);
  EXPECT_EQ(onLaptop.limit.min, (Size{300, 360}));
  EXPECT_EQ(onLaptop.limit.max, (Size{620, 875}));
  EXPECT_EQ(onLaptop.room, laptop.visibleFrame);

  const auto nowhere = StickyResizeSolver::begin(StickyZone::right, window, {0, 0}, std::nullopt);
  EXPECT_EQ(nowhere.limit.max, (Size{620, 1200}));
  EXPECT_FALSE(nowhere.room);
}

TEST(StickyResizeSolverTest, TheLeftEdgeStopsAtTheMinimumAndTurningBackGrowsAtOnce) {
  expectMoves(StickyResizeSolver::begin(StickyZone::left, window, {500, 400}, laptop),
              {
                  {{550, 400}, {550, 200, 350, 500}, false, false},
                  {{650, 400}, {600, 200, 300, 500}, true, false},  // would be 250 wide
                  {{700, 400}, {600, 200, 300, 500}, true, false},  // held, re-anchored again
                  {{690, 400}, {590, 200, 310, 500}, false, false}, // back: grows with no dead travel
              });
}

TEST(StickyResizeSolverTest, TheRightEdgeStopsAtTheMaximum) {
  expectMoves(StickyResizeSolver::begin(StickyZone::right, window, {900, 400}, laptop),
              {
                  {{1200, 400}, {500, 200, 620, 500}, true, false},
                  {{1190, 400}, {500, 200, 610, 500}, false, false},
              });
}

TEST(StickyResizeSolverTest, TheTopStopsAtTheTopOfTheVisibleFrame) {
  // The window's bottom edge is 500 points below the top of the visible frame.
  const Rect low{100, 375, 340, 400};
  expectMoves(StickyResizeSolver::begin(StickyZone::top, low, {200, 775}, laptop),
              {
                  {{200, 850}, {100, 375, 340, 475}, false, false},
                  {{200, 1000}, {100, 375, 340, 500}, false, true},
                  {{200, 990}, {100, 375, 340, 490}, false, false},
              });
}

TEST(StickyResizeSolverTest, TheTopCapIsIgnoredWhenTheRoomIsBelowTheMinimum) {
  // The bottom edge is only 200 points below the top of the visible frame.
  const Rect high{100, 675, 340, 400};
  expectMoves(StickyResizeSolver::begin(StickyZone::top, high, {200, 1075}, laptop),
              {{{200, 1125}, {100, 675, 340, 450}, false, false}});
}

TEST(StickyResizeSolverTest, ACornerClampsEachAxisOnItsOwn) {
  expectMoves(StickyResizeSolver::begin(StickyZone::bottomLeft, window, {500, 200}, laptop),
              {
                  {{700, 100}, {600, 100, 300, 600}, true, false},
                  {{650, 0}, {550, 0, 350, 700}, false, false},
              });
}

TEST(StickyResizeSolverTest, AnEdgeNeverReportsTheOtherAxisAsClamped) {
  // A left-edge drag with vertical movement leaves the height alone and unflagged.
  auto solver = StickyResizeSolver::begin(StickyZone::left, window, {500, 400}, laptop);
  const auto step = solver.step({480, 900});
  EXPECT_EQ(step.frame, (Rect{480, 200, 420, 500}));
  EXPECT_FALSE(step.clampedY);
}

}  // namespace
}  // namespace tovarin
