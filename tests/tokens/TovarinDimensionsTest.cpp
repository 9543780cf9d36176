#include "tokens/TovarinDimensions.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

// The widget and the native views draw with these numbers directly; this table states
// them a second time so that a mistyped value shows.
TEST(TovarinDimensionsTest, ValuesAsDesigned) {
  struct Case {
    const char* name;
    double value;
    double expected;
  } cases[] = {
      {"radius.xs", TovarinRadius::xs, 5},          {"radius.sm", TovarinRadius::sm, 8},
      {"radius.base", TovarinRadius::base, 11},     {"radius.lg", TovarinRadius::lg, 16},
      {"radius.xl", TovarinRadius::xl, 22},         {"radius.mark", TovarinRadius::mark, 2},
      {"type.micro", TovarinType::micro, 11},       {"type.tiny", TovarinType::tiny, 12},
      {"type.small", TovarinType::small, 13},       {"type.body", TovarinType::body, 13.5},
      {"type.lead", TovarinType::lead, 16},         {"type.title", TovarinType::title, 21},
      {"type.trackingCaps", TovarinType::trackingCaps, 0.085},
      {"type.widgetDate", TovarinType::widgetDate, 28},
      {"type.widgetDateCompact", TovarinType::widgetDateCompact, 24},
      {"space.xs", TovarinSpace::xs, 4},            {"space.sm", TovarinSpace::sm, 7},
      {"space.md", TovarinSpace::md, 10},           {"space.lg", TovarinSpace::lg, 14},
      {"space.xl", TovarinSpace::xl, 20},           {"stroke.hairline", TovarinStroke::hairline, 0.5},
      {"stroke.mark", TovarinStroke::mark, 1.5},    {"ring.restAlpha", TovarinRing::restAlpha, 0.45},
      {"ring.hoverAlpha", TovarinRing::hoverAlpha, 0.78},
      {"motion.press", TovarinMotion::press, 0.08}, {"motion.fast", TovarinMotion::fast, 0.14},
      {"motion.base", TovarinMotion::base, 0.22},   {"motion.slow", TovarinMotion::slow, 0.36},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value, c.expected) << c.name;
  }
  EXPECT_EQ(TovarinType::captionWeight, 600);
  EXPECT_EQ(TovarinMotion::easeCSS, "cubic-bezier(0.32, 0.72, 0, 1)");
}

}  // namespace
}  // namespace tovarin
