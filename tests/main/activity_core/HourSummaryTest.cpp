#include "main/activity_core/HourSummary.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(HourSummaryTest, RoundTripsWithAndWithoutDomains) {
  HourSummary summary{3600, 7200,
                      {HourRow{"org.mozilla.firefox", "Firefox", "News", std::string("news.example"), 120, 3600, 3720},
                       HourRow{"com.example.editor", "Editor", "", std::nullopt, 60, 4000, 4060}},
                      400};
  Json json = summary.toJson();
  EXPECT_FALSE(json["rows"][1].contains("domain"));
  EXPECT_EQ(json["rows"][0]["domain"], "news.example");
  EXPECT_EQ(HourSummary::fromJson(json), summary);
  EXPECT_EQ(HourSummary::fromJson(*parseJson(toJsonText(json))), summary);
}

TEST(HourSummaryTest, OneMalformedRowOrMissingKeyFailsTheSummary) {
  const char* row = R"({"bundleId":"b","app":"a","title":"t","seconds":1,"first":0,"last":1})";
  std::string good = std::string(R"({"hourStart":0,"hourEnd":3600,"totalSeconds":1,"rows":[)") + row + "]}";
  ASSERT_TRUE(HourSummary::fromJson(*parseJson(good)));
  for (const char* key : {"hourStart", "hourEnd", "totalSeconds", "rows"}) {
    Json json = *parseJson(good);
    json.erase(key);
    EXPECT_FALSE(HourSummary::fromJson(json)) << key;
  }
  for (const char* key : {"bundleId", "app", "title", "seconds", "first", "last"}) {
    Json json = *parseJson(good);
    json["rows"][0].erase(key);
    EXPECT_FALSE(HourSummary::fromJson(json)) << key;
  }
  Json wrongDomain = *parseJson(good);
  wrongDomain["rows"][0]["domain"] = 3;
  EXPECT_FALSE(HourSummary::fromJson(wrongDomain));
  Json rowsNotArray = *parseJson(good);
  rowsNotArray["rows"] = Json::object();
  EXPECT_FALSE(HourSummary::fromJson(rowsNotArray));
}

}  // namespace
}  // namespace tovarin
