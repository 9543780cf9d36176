#include "tokens/TovarinColorToken.h"

#include <gtest/gtest.h>

#include "tokens/TovarinColors.h"

namespace tovarin {
namespace {

struct Rgba {
  int r, g, b;
  double a;
};

void expectChannels(const TovarinColorToken::Channels& actual, Rgba expected) {
  EXPECT_DOUBLE_EQ(actual.r, expected.r / 255.0);
  EXPECT_DOUBLE_EQ(actual.g, expected.g / 255.0);
  EXPECT_DOUBLE_EQ(actual.b, expected.b / 255.0);
  EXPECT_DOUBLE_EQ(actual.a, expected.a);
}

// Channels as 8-bit values (the native views and the widget read these), and the CSS
// text of each variant (the local pages read that): two independent statements of
// every colour.
TEST(TovarinColorTokenTest, EveryColourHasItsChannelsAndCssText) {
  struct Case {
    const char* name;
    const TovarinColorToken& token;
    Rgba light, dark;
    const char* lightCSS;
    const char* darkCSS;
  } cases[] = {
      {"ink.primary", TovarinInk::primary, {24, 27, 37, 1}, {240, 241, 245, 1}, "#181b25", "#f0f1f5"},
      {"ink.muted", TovarinInk::muted, {70, 74, 88, 1}, {191, 193, 202, 1}, "#464a58", "#bfc1ca"},
      {"ink.faint", TovarinInk::faint, {93, 96, 111, 1}, {153, 156, 168, 1}, "#5d606f", "#999ca8"},
      {"ground.base", TovarinGround::base, {244, 245, 248, 1}, {18, 19, 23, 1}, "#f4f5f8", "#121317"},
      {"ground.surface", TovarinGround::surface, {253, 253, 254, 1}, {28, 30, 35, 1}, "#fdfdfe", "#1c1e23"},
      {"ground.surfaceHover", TovarinGround::surfaceHover, {239, 240, 245, 1}, {45, 47, 55, 1},
       "#eff0f5", "#2d2f37"},
      {"line.hairline", TovarinLine::hairline, {67, 73, 96, 0.055}, {198, 202, 221, 0.085},
       "rgba(67,73,96,0.055)", "rgba(198,202,221,0.085)"},
      {"line.border", TovarinLine::border, {63, 68, 90, 0.105}, {205, 209, 223, 0.14},
       "rgba(63,68,90,0.105)", "rgba(205,209,223,0.140)"},
      {"accent.base", TovarinAccent::base, {39, 67, 190, 1}, {103, 125, 224, 1}, "#2743be", "#677de0"},
      {"accent.hover", TovarinAccent::hover, {34, 58, 165, 1}, {77, 103, 219, 1}, "#223aa5", "#4d67db"},
      {"accent.text", TovarinAccent::text, {255, 255, 255, 1}, {14, 18, 37, 1}, "#ffffff", "#0e1225"},
      {"accent.soft", TovarinAccent::soft, {39, 67, 190, 0.1}, {103, 125, 224, 0.2},
       "rgba(39,67,190,0.100)", "rgba(103,125,224,0.200)"},
      {"accent.ink", TovarinAccent::ink, {35, 59, 169, 1}, {169, 180, 229, 1}, "#233ba9", "#a9b4e5"},
      {"signal.danger", TovarinSignal::danger, {195, 55, 42, 1}, {255, 122, 107, 1}, "#c3372a", "#ff7a6b"},
      {"signal.warning", TovarinSignal::warning, {141, 94, 7, 1}, {232, 174, 69, 1}, "#8d5e07", "#e8ae45"},
      {"signal.today", TovarinSignal::today, {200, 56, 42, 1}, {255, 111, 94, 1}, "#c8382a", "#ff6f5e"},
      {"brand.mark", TovarinBrand::mark, {198, 69, 50, 1}, {198, 69, 50, 1}, "#c64532", "#c64532"},
      {"seed.personal", TovarinSeedCalendar::personal, {30, 79, 216, 1}, {30, 79, 216, 1}, "#1e4fd8", "#1e4fd8"},
      {"seed.work", TovarinSeedCalendar::work, {209, 54, 47, 1}, {209, 54, 47, 1}, "#d1362f", "#d1362f"},
      {"seed.health", TovarinSeedCalendar::health, {47, 125, 79, 1}, {47, 125, 79, 1}, "#2f7d4f", "#2f7d4f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectChannels(c.token.light, c.light);
    expectChannels(c.token.dark, c.dark);
    EXPECT_EQ(c.token.lightCSS(), c.lightCSS);
    EXPECT_EQ(c.token.darkCSS(), c.darkCSS);
  }
}

TEST(TovarinColorTokenTest, SchemePicksTheVariantAndFixedIsAlwaysLight) {
  const TovarinColorToken& warning = TovarinSignal::warning;
  EXPECT_EQ(TovarinColorToken::cssText(warning.channels(TovarinColorToken::Scheme::light)), "#8d5e07");
  EXPECT_EQ(TovarinColorToken::cssText(warning.channels(TovarinColorToken::Scheme::dark)), "#e8ae45");
  EXPECT_EQ(TovarinColorToken::cssText(warning.fixed()), "#8d5e07");
}

TEST(TovarinColorTokenTest, SingleChannelsServeBothAppearances) {
  const TovarinColorToken token{rgb255(1, 2, 3, 0.5)};
  EXPECT_EQ(token.light, token.dark);
  EXPECT_EQ(token.darkCSS(), "rgba(1,2,3,0.500)");
}

TEST(TovarinColorTokenTest, CssTextRoundsHalvesAwayAndSwitchesFormOnAlpha) {
  struct Case {
    TovarinColorToken::Channels channels;
    const char* css;
  } cases[] = {
      {{0.5, 0, 1, 1}, "#8000ff"},                          // 127.5 rounds up
      {{127.49 / 255, 0.49 / 255, 1, 1}, "#7f00ff"},
      {{0, 0, 0, 1.5}, "#000000"},                          // alpha above 1 is still opaque
      {{0, 0, 0, 0.9999}, "rgba(0,0,0,1.000)"},             // not opaque, though it prints as 1
      {{1, 1, 1, 0}, "rgba(255,255,255,0.000)"},
      {{0.2, 0.4, 0.6, 0.0625}, "rgba(51,102,153,0.062)"},  // exact binary tie: %.3f rounds to even
      {{-0.2, 1.3, 0.5, 1}, "#00ff80"},                     // out of range stays well-formed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TovarinColorToken::cssText(c.channels), c.css);
  }
}

}  // namespace
}  // namespace tovarin
