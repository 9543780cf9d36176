#include "widget/WidgetOptions.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(WidgetOptionsTest, ReadsEveryOption) {
  std::string error;
  auto options = WidgetOptions::parse({"--family", "small", "--info", "/x/Info.json", "--scheme", "dark", "--position",
                                       "-10,25", "--render", "out.png", "--preview", "--scale", "2"},
                                      error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->family, WidgetFamily::small);
  EXPECT_EQ(options->infoPath, "/x/Info.json");
  EXPECT_EQ(options->scheme, TovarinColorToken::Scheme::dark);
  EXPECT_EQ(options->position, std::make_pair(-10, 25));
  EXPECT_EQ(options->renderPath, "out.png");
  EXPECT_TRUE(options->preview);
  EXPECT_EQ(options->scale, 2);

  auto defaults = WidgetOptions::parse({}, error);
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->family, WidgetFamily::medium);
  EXPECT_FALSE(defaults->scheme || defaults->position || defaults->renderPath || defaults->infoPath);
}

TEST(WidgetOptionsTest, RefusesWhatItDoesNotUnderstand) {
  const std::vector<std::vector<std::string>> cases = {
      {"--family", "Small"}, {"--family"},           {"--scheme", "sepia"}, {"--position", "10"},
      {"--position", "a,b"}, {"--position", "1,2,3"}, {"--scale", "0"},      {"--scale", "1.5"},
      {"--scale", "5"},      {"family", "small"},     {"--unknown", "x"},
  };
  for (const auto& arguments : cases) {
    std::string error;
    EXPECT_FALSE(WidgetOptions::parse(arguments, error)) << arguments[0];
    EXPECT_FALSE(error.empty()) << arguments[0];
  }
}

}  // namespace
}  // namespace tovarin
