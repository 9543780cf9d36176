#include "main/windows/StickyZone.h"

#include <gtest/gtest.h>

namespace tovarin {

inline void PrintTo(StickyZone zone, std::ostream* out) { *out << name(zone); }

namespace {

TEST(StickyZoneTest, ZoneAtFindsCornersBeforeEdgesAndEdgesBeforeTheInterior) {
  const Size bounds{340, 460};
  struct Row {
    StickyPoint point;
    StickyZone expected;
  };
  const Row rows[] = {
      {{5, 5}, StickyZone::bottomLeft},
      {{14, 14}, StickyZone::bottomLeft},
      {{15, 14}, StickyZone::interior},
      {{15, 8}, StickyZone::bottom},
      {{8, 15}, StickyZone::left},
      {{335, 5}, StickyZone::bottomRight},
      {{326, 14}, StickyZone::bottomRight},
      {{5, 455}, StickyZone::topLeft},
      {{14, 446}, StickyZone::topLeft},
      {{335, 455}, StickyZone::topRight},
      {{5, 100}, StickyZone::left},
      {{8, 100}, StickyZone::left},
      {{9, 100}, StickyZone::interior},
      {{332, 100}, StickyZone::right},
      {{331, 100}, StickyZone::interior},
      {{100, 8}, StickyZone::bottom},
      {{100, 9}, StickyZone::interior},
      {{100, 455}, StickyZone::top},
      {{100, 452}, StickyZone::top},
      {{100, 451}, StickyZone::interior},
      {{100, 100}, StickyZone::interior},
      {{-3, 100}, StickyZone::left},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(StickyZones::zoneAt(row.point, bounds), row.expected) << row.point.x << ", " << row.point.y;
  }
}

TEST(StickyZoneTest, ANarrowWindowStillHasItsEdges) {
  const Size bounds{28, 500};
  EXPECT_EQ(StickyZones::zoneAt({5, 250}, bounds), StickyZone::left);
  EXPECT_EQ(StickyZones::zoneAt({14, 250}, bounds), StickyZone::interior);
  EXPECT_EQ(StickyZones::zoneAt({20, 250}, bounds), StickyZone::right);
  EXPECT_EQ(StickyZones::zoneAt({14, 495}, bounds), StickyZone::topLeft);
}

TEST(StickyZoneTest, NamesAndPulledEdgesOfEachZone) {
  struct Row {
    StickyZone zone;
    std::string_view name;
    bool edge, corner, left, right, top, bottom;
  };
  const Row rows[] = {
      {StickyZone::interior, "interior", false, false, false, false, false, false},
      {StickyZone::top, "top", true, false, false, false, true, false},
      {StickyZone::bottom, "bottom", true, false, false, false, false, true},
      {StickyZone::left, "left", true, false, true, false, false, false},
      {StickyZone::right, "right", true, false, false, true, false, false},
      {StickyZone::topLeft, "topLeft", true, true, true, false, true, false},
      {StickyZone::topRight, "topRight", true, true, false, true, true, false},
      {StickyZone::bottomLeft, "bottomLeft", true, true, true, false, false, true},
      {StickyZone::bottomRight, "bottomRight", true, true, false, true, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(name(row.zone), row.name);
    EXPECT_EQ(stickyZoneFromName(row.name), row.zone);
    EXPECT_EQ(isEdge(row.zone), row.edge);
    EXPECT_EQ(isCorner(row.zone), row.corner);
    EXPECT_EQ(pullsLeft(row.zone), row.left);
    EXPECT_EQ(pullsRight(row.zone), row.right);
    EXPECT_EQ(pullsTop(row.zone), row.top);
    EXPECT_EQ(pullsBottom(row.zone), row.bottom);
  }
  EXPECT_FALSE(stickyZoneFromName("TopLeft"));
  EXPECT_FALSE(stickyZoneFromName(""));
}

}  // namespace
}  // namespace tovarin
