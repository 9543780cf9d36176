#include "main/activity_ui/ActivityAppRows.h"

#include <gtest/gtest.h>

#include <map>

namespace tovarin {
namespace {

std::vector<std::string> names(const std::vector<ActivityAppRow>& rows) {
  std::vector<std::string> out;
  for (const auto& row : rows) out.push_back(row.name);
  return out;
}

ActivityAppRows::Sources installed(std::map<std::string, std::string> names) {
  ActivityAppRows::Sources sources;
  sources.installedName = [names](const std::string& id) -> std::optional<std::string> {
    auto found = names.find(id);
    return found == names.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
  sources.supportsDomain = [](const std::string& id) { return id == "firefox"; };
  return sources;
}

TEST(ActivityAppRowsTest, TickedFirstThenNamesWithNumbersByValue) {
  const auto rows = ActivityAppRows::build(
      {{"app10", "App 10"}, {"app2", "App 2"}, {"zed", "zed"}, {"alpha", "Alpha"}, {"ticked", "Ticked"}}, {"ticked"},
      installed({}));
  EXPECT_EQ(names(rows), (std::vector<std::string>{"Ticked", "Alpha", "App 2", "App 10", "zed"}));
}

TEST(ActivityAppRowsTest, TickedAppsThatAreNotRunningKeepTheirInstalledNameOrTheirId) {
  const auto rows = ActivityAppRows::build({{"org.gnome.Nautilus", "Files"}},
                                           {"org.gnome.Calculator", "gone.app.id", "ORG.GNOME.NAUTILUS"},
                                           installed({{"org.gnome.Calculator", "Calculator"}}));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(names(rows), (std::vector<std::string>{"Calculator", "Files", "gone.app.id", "ORG.GNOME.NAUTILUS"}));
  // The running app is ticked through its differently cased entry, and listed once under each id.
  for (const auto& row : rows) EXPECT_TRUE(row.included) << row.id;
}

TEST(ActivityAppRowsTest, LeavesThisProgramOutAndMarksCategoriesAndBrowsers) {
  const auto rows = ActivityAppRows::build(
      {{"com.orvik.thetovarin", "TheTovarin"}, {"COM.ORVIK.THETOVARIN", std::nullopt}, {"firefox", "Firefox"},
       {"org.gnome.Nautilus", std::nullopt}, {"org.gnome.Nautilus", "Files"}},
      {}, installed({}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "Files");  // a later report of the same id replaces the name
  EXPECT_EQ(rows[1].id, "firefox");
  EXPECT_TRUE(rows[1].isBrowser);
  EXPECT_TRUE(rows[1].supportsDomain);
  EXPECT_FALSE(rows[0].supportsDomain);
}

TEST(ActivityAppRowsTest, NameOrderIgnoresCaseAndComparesDigitRunsByValue) {
  EXPECT_LT(ActivityAppRows::compareNames("App 9", "App 10"), 0);
  EXPECT_LT(ActivityAppRows::compareNames("app 2", "App 3"), 0);
  EXPECT_GT(ActivityAppRows::compareNames("Zoo", "apple"), 0);
  EXPECT_EQ(ActivityAppRows::compareNames("Same", "Same"), 0);
}

}  // namespace
}  // namespace tovarin
