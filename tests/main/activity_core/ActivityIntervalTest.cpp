#include "main/activity_core/ActivityInterval.h"

#include <limits>

#include <gtest/gtest.h>

#include "main/activity_core/ActivityApp.h"

namespace tovarin {
namespace {

TEST(ActivityIntervalTest, SecondsAreNeverNegativeOrNotANumber) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double start;
    double end;
    double seconds;
  } cases[] = {{10, 25.5, 15.5}, {25, 10, 0}, {nan, 10, 0}, {10, nan, 0}, {10, 10, 0}};
  for (const auto& c : cases) {
    ActivityInterval interval{"iv", "b", "n", "t", std::nullopt, c.start, c.end};
    EXPECT_EQ(interval.seconds(), c.seconds) << c.start << " " << c.end;
  }
}

TEST(ActivityIntervalTest, DomainIsWrittenOnlyWhenPresent) {
  ActivityInterval without{"iv_1", "com.example.editor", "Editor", "Doc", std::nullopt, 100, 160.5};
  Json json = without.toJson();
  EXPECT_FALSE(json.contains("domain"));
  EXPECT_EQ(ActivityInterval::fromJson(json), without);

  ActivityInterval with = without;
  with.domain = "";
  EXPECT_EQ(with.toJson()["domain"], "");
  EXPECT_EQ(ActivityInterval::fromJson(with.toJson()), with);
}

TEST(ActivityIntervalTest, DecodingRequiresEveryKeyButDomain) {
  const char* good = R"({"id":"iv_1","bundleId":"b","appName":"n","title":"t","start":1,"end":2})";
  ASSERT_TRUE(ActivityInterval::fromJson(*parseJson(good)));
  EXPECT_EQ(ActivityInterval::fromJson(*parseJson(
                R"({"id":"iv_1","bundleId":"b","appName":"n","title":"t","start":1,"end":2,"domain":null})"))->domain,
            std::nullopt);
  for (const char* key : {"id", "bundleId", "appName", "title", "start", "end"}) {
    Json json = *parseJson(good);
    json.erase(key);
    EXPECT_FALSE(ActivityInterval::fromJson(json)) << "missing " << key;
  }
  for (const char* bad : {R"({"id":"iv_1","bundleId":"b","appName":"n","title":"t","start":"1","end":2})",
                          R"({"id":"iv_1","bundleId":"b","appName":"n","title":7,"start":1,"end":2})",
                          R"({"id":"iv_1","bundleId":"b","appName":"n","title":"t","start":1,"end":2,"domain":5})",
                          R"({"id":"iv_1","bundleId":"b","appName":"n","title":"t","start":true,"end":2})", "[]"}) {
    EXPECT_FALSE(ActivityInterval::fromJson(*parseJson(bad))) << bad;
  }
}

TEST(ActivityAppTest, BothKeysAreRequiredStrings) {
  ActivityApp app{"org.mozilla.firefox", "Firefox"};
  EXPECT_EQ(ActivityApp::fromJson(app.toJson()), app);
  EXPECT_FALSE(ActivityApp::fromJson(*parseJson(R"({"bundleId":"x"})")));
  EXPECT_FALSE(ActivityApp::fromJson(*parseJson(R"({"bundleId":"x","name":null})")));
  // Hashing sees both fields.
  ActivityAppHash hash;
  EXPECT_NE(hash(ActivityApp{"a", "b"}), hash(ActivityApp{"b", "a"}));
}

}  // namespace
}  // namespace tovarin
