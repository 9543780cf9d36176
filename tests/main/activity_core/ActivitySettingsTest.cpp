#include "main/activity_core/ActivitySettings.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

ActivitySettings with(void (*change)(ActivitySettings&)) {
  ActivitySettings settings;
  change(settings);
  return settings;
}

TEST(ActivitySettingsTest, DecodingFillsDefaultsClampsAndRefusesWrongTypes) {
  struct Case {
    const char* json;
    std::optional<ActivitySettings> expected;
  } cases[] = {
      {"{}", ActivitySettings{}},
      {R"({"retentionDays":0,"idleMinutes":120})", with([](ActivitySettings& s) { s.retentionDays = 1; s.idleMinutes = 60; })},
      {R"({"retentionDays":45,"idleMinutes":0})", with([](ActivitySettings& s) { s.retentionDays = 30; s.idleMinutes = 1; })},
      {R"({"retentionDays":-9223372036854775807})", with([](ActivitySettings& s) { s.retentionDays = 1; })},
      {R"({"retentionDays":14.0})", with([](ActivitySettings& s) { s.retentionDays = 14; })},
      {R"({"included":null,"enabled":null})", ActivitySettings{}},
      {R"({"enabled":true,"included":["a.b","C.D"],"unknown":[1]})",
       with([](ActivitySettings& s) { s.enabled = true; s.included = {"a.b", "C.D"}; })},
      {R"({"enabled":"true"})", std::nullopt},
      {R"({"enabled":1})", std::nullopt},
      {R"({"retentionDays":7.5})", std::nullopt},
      {R"({"retentionDays":true})", std::nullopt},
      {R"({"retentionDays":1e30})", std::nullopt},
      {R"({"included":"a.b"})", std::nullopt},
      {R"({"included":["a.b",3]})", std::nullopt},
      {R"([])", std::nullopt},
      {R"("settings")", std::nullopt},
  };
  for (const auto& c : cases) {
    auto json = parseJson(c.json);
    ASSERT_TRUE(json) << c.json;
    EXPECT_EQ(ActivitySettings::fromJson(*json), c.expected) << c.json;
  }
}

TEST(ActivitySettingsTest, EncodingWritesEverySettingAndRoundTrips) {
  ActivitySettings settings;
  settings.enabled = true;
  settings.paused = true;
  settings.included = {"org.mozilla.firefox", "com.example.Editor"};
  settings.retentionDays = 30;
  settings.browserDomains = true;
  settings.idleMinutes = 60;
  Json json = settings.toJson();
  EXPECT_EQ(json, parseJson(R"({"enabled":true,"paused":true,"included":["org.mozilla.firefox","com.example.Editor"],
                                "retentionDays":30,"browserDomains":true,"idleMinutes":60})"));
  EXPECT_EQ(ActivitySettings::fromJson(json), settings);
  EXPECT_EQ(ActivitySettings{}.toJson().size(), 6u);
}

TEST(ActivitySettingsTest, ClampRetentionHoldsDaysToTheRange) {
  struct Case {
    int64_t days;
    int clamped;
  } cases[] = {{INT64_MIN, 1}, {0, 1}, {1, 1}, {15, 15}, {30, 30}, {31, 30}, {INT64_MAX, 30}};
  for (const auto& c : cases) EXPECT_EQ(ActivitySettings::clampRetention(c.days), c.clamped) << c.days;
}

}  // namespace
}  // namespace tovarin
