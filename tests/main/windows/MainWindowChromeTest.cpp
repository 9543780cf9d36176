#include "main/windows/MainWindowChrome.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(MainWindowChromeTest, ColourAcceptsOnlyHashAndSixHexDigits) {
  struct Case {
    std::string_view text;
    std::optional<Rgba> color;
  } cases[] = {
      {"#1A2b3C", Rgba{26 / 255.0, 43 / 255.0, 60 / 255.0, 1}},
      {"#000000", Rgba{0, 0, 0, 1}},
      {"#FFFFFF", Rgba{1, 1, 1, 1}},
      {"#ff0080", Rgba{1, 0, 128 / 255.0, 1}},
      {"#abc", std::nullopt},
      {"1A2b3C", std::nullopt},
      {"#1A2b3G", std::nullopt},
      {"#1A2b3C4", std::nullopt},
      {"#1A2b3C80", std::nullopt},
      {"#1A2b3 ", std::nullopt},
      {" #1A2b3C", std::nullopt},
      {"#-12345", std::nullopt},
      {"#１２３４５６", std::nullopt},  // full-width digits
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MainWindowChrome::color(c.text), c.color) << c.text;
}

TEST(MainWindowChromeTest, BackgroundNeedsTheChromeShape) {
  const Rgba dark{26 / 255.0, 43 / 255.0, 60 / 255.0, 1};
  struct Case {
    const char* what;
    Json body;
    std::optional<Rgba> color;
  } cases[] = {
      {"chrome with a colour", {{"type", "chrome"}, {"background", "#1A2b3C"}}, dark},
      {"extra keys are fine", {{"type", "chrome"}, {"background", "#1A2b3C"}, {"x", 1}}, dark},
      {"other type", {{"type", "theme"}, {"background", "#1A2b3C"}}, std::nullopt},
      {"no type", {{"background", "#1A2b3C"}}, std::nullopt},
      {"background not a string", {{"type", "chrome"}, {"background", 0x1A2b3C}}, std::nullopt},
      {"bad colour", {{"type", "chrome"}, {"background", "#abc"}}, std::nullopt},
      {"array", Json::array({"chrome", "#1A2b3C"}), std::nullopt},
      {"string", "chrome", std::nullopt},
      {"null", nullptr, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MainWindowChrome::background(c.body), c.color) << c.what;
}

TEST(MainWindowChromeTest, NativeGroundFollowsTheAppearance) {
  EXPECT_EQ(MainWindowChrome::nativeGround(false), (Rgba{0xf4 / 255.0, 0xf5 / 255.0, 0xf8 / 255.0, 1}));
  EXPECT_EQ(MainWindowChrome::nativeGround(true), (Rgba{0x12 / 255.0, 0x13 / 255.0, 0x17 / 255.0, 1}));
}

}  // namespace
}  // namespace tovarin
