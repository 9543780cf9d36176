#include "main/activity_core/IntervalBuilder.h"

#include <limits>

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using S = std::optional<std::string>;

const ActivityApp editor{"com.example.editor", "Editor"};
const ActivityApp browser{"com.google.Chrome", "Chrome"};
const ActivityApp chat{"com.tencent.xinWeChat", "WeChat"};

ActivitySettings recording() {
  ActivitySettings settings;
  settings.enabled = true;
  settings.included = {"com.example.editor", "com.google.chrome", "com.orvik.thetovarin"};
  return settings;
}

class IntervalBuilderTest : public ::testing::Test {
 protected:
  IntervalBuilder builder_{recording(), [this] { return "iv_" + std::to_string(++ids_); }};
  int ids_ = 0;

  std::vector<ActivityInterval> front(std::optional<ActivityApp> app, double at) {
    return builder_.handle(ActivityEvent::frontmost(std::move(app), at));
  }
  std::vector<ActivityInterval> title(S title, double at, S domain = S(), bool incognito = false) {
    return builder_.handle(ActivityEvent::title(std::move(title), std::move(domain), incognito, at));
  }
  std::vector<ActivityInterval> handle(const ActivityEvent& event) { return builder_.handle(event); }
};

ActivityInterval interval(std::string id, const ActivityApp& app, std::string title, double start, double end,
                          S domain = S()) {
  return ActivityInterval{std::move(id), app.bundleId, app.name, std::move(title), std::move(domain), start, end};
}

TEST_F(IntervalBuilderTest, TitleLessStretchShorterThanMinimumLeavesNothing) {
  EXPECT_TRUE(front(editor, 100).empty());
  EXPECT_TRUE(title(S("Draft"), 102).empty());
  auto closed = title(S("Final"), 130);
  EXPECT_EQ(closed, (std::vector{interval("iv_1", editor, "Draft", 102, 130)}));
  EXPECT_EQ(builder_.open(), (IntervalBuilder::Open{editor.bundleId, editor.name, "Final", std::nullopt, 130}));
}

TEST_F(IntervalBuilderTest, FlushCutsOnlyRecordsOfAtLeastTheMinimum) {
  EXPECT_TRUE(handle(ActivityEvent::flush(50)).empty());
  EXPECT_EQ(ids_, 0);
  (void)front(editor, 100);
  (void)title(S("Doc"), 100);
  EXPECT_TRUE(handle(ActivityEvent::flush(104.9)).empty());
  EXPECT_EQ(builder_.open()->start, 100);
  EXPECT_EQ(handle(ActivityEvent::flush(105)), (std::vector{interval("iv_1", editor, "Doc", 100, 105)}));
  EXPECT_EQ(builder_.open(), (IntervalBuilder::Open{editor.bundleId, editor.name, "Doc", std::nullopt, 105}));
}

TEST_F(IntervalBuilderTest, RecordingReturnsOnlyWhenTheLastReasonIsResumed) {
  (void)front(editor, 100);
  (void)title(S("Doc"), 100);
  EXPECT_EQ(handle(ActivityEvent::suspend(SuspendReason::idle, 200)),
            (std::vector{interval("iv_1", editor, "Doc", 100, 200)}));
  (void)handle(ActivityEvent::suspend(SuspendReason::locked, 210));
  (void)handle(ActivityEvent::suspend(SuspendReason::locked, 215));
  EXPECT_TRUE(handle(ActivityEvent::resume(SuspendReason::idle, 220)).empty());
  EXPECT_FALSE(builder_.open());
  EXPECT_TRUE(handle(ActivityEvent::resume(SuspendReason::locked, 300)).empty());
  ASSERT_TRUE(builder_.open());
  EXPECT_EQ(builder_.open()->start, 300);
  // Resuming a reason that is not in force changes nothing.
  EXPECT_TRUE(handle(ActivityEvent::resume(SuspendReason::asleep, 310)).empty());
  EXPECT_EQ(builder_.open()->start, 300);
}

TEST_F(IntervalBuilderTest, EventsDatedBeforeTheStartCloseWithZeroLength) {
  (void)front(editor, 100);
  (void)title(S("Doc"), 100);
  EXPECT_TRUE(handle(ActivityEvent::suspend(SuspendReason::asleep, 90)).empty());
  EXPECT_FALSE(builder_.open());
  EXPECT_EQ(ids_, 0);

  (void)handle(ActivityEvent::resume(SuspendReason::asleep, 400));
  // A change dated before the start reopens no earlier than the closed record began.
  EXPECT_TRUE(title(S("Other"), 390).empty());
  EXPECT_EQ(builder_.open()->start, 400);
}

TEST_F(IntervalBuilderTest, SettingsThatStopRecordingCloseTheRecord) {
  ActivitySettings off = recording();
  off.enabled = false;
  ActivitySettings paused = recording();
  paused.paused = true;
  ActivitySettings unticked = recording();
  unticked.included = {};
  for (const ActivitySettings& stop : {off, paused, unticked}) {
    IntervalBuilder builder(recording(), [] { return std::string("iv"); });
    (void)builder.handle(ActivityEvent::frontmost(editor, 100));
    EXPECT_EQ(builder.handle(ActivityEvent::settings(stop, 160)).size(), 1u);
    EXPECT_FALSE(builder.open());
    EXPECT_TRUE(builder.handle(ActivityEvent::settings(recording(), 170)).empty());
    ASSERT_TRUE(builder.open());
    EXPECT_EQ(builder.open()->start, 170);
  }
}

TEST_F(IntervalBuilderTest, PrivateWindowsAndSensitivePagesCloseTheRecord) {
  struct Case {
    const char* what;
    S title;
    S domain;
    bool incognito;
  } cases[] = {
      {"private window", S("News"), S("news.example.com"), true},
      {"sensitive host", S("Home"), S("www.chase.com"), false},
      {"sensitive subdomain", S("Chat"), S("us02web.zoom.us"), false},
      {"e-mail address in title", S("Mail from ann@example.com"), S(), false},
      {"keyword in title", S("Online Banking - Sign in"), S(), false},
  };
  for (const auto& c : cases) {
    IntervalBuilder builder(recording(), [] { return std::string("iv"); });
    (void)builder.handle(ActivityEvent::frontmost(browser, 100));
    (void)builder.handle(ActivityEvent::title(S("Search"), S("example.com"), false, 100));
    auto closed = builder.handle(ActivityEvent::title(c.title, c.domain, c.incognito, 130));
    ASSERT_EQ(closed.size(), 1u) << c.what;
    EXPECT_EQ(closed[0].domain, S("example.com")) << c.what;
    EXPECT_FALSE(builder.open()) << c.what;
  }
}

TEST_F(IntervalBuilderTest, EqualCleanTitlesAndHostsDoNotSplit) {
  (void)front(browser, 100);
  (void)title(S("Order  1234567 "), 100, S("WWW.Shop.example."));
  EXPECT_TRUE(title(S(" Order 7654321"), 150, S("shop.example")).empty());
  EXPECT_EQ(builder_.open(),
            (IntervalBuilder::Open{browser.bundleId, browser.name, "Order [数字]", S("shop.example"), 100}));
  // The same title under another host is another record.
  EXPECT_EQ(title(S("Order 1"), 160, S("shop.example")).size(), 1u);
  EXPECT_EQ(title(S("Order 1"), 170, S("other.example")).size(), 1u);
}

TEST_F(IntervalBuilderTest, SecondFrontmostForTheSameAppResetsTheTitle) {
  (void)front(editor, 100);
  (void)title(S("Doc"), 100);
  ActivityApp renamed{editor.bundleId, "Editor Pro"};
  EXPECT_EQ(front(renamed, 120), (std::vector{interval("iv_1", editor, "Doc", 100, 120)}));
  EXPECT_EQ(builder_.open(), (IntervalBuilder::Open{editor.bundleId, "Editor Pro", "", std::nullopt, 120}));
  // Without a title change, the next frontmost event keeps the open record and its name.
  EXPECT_TRUE(front(ActivityApp{editor.bundleId, "Third"}, 140).empty());
  EXPECT_EQ(builder_.open()->appName, "Editor Pro");
}

TEST_F(IntervalBuilderTest, AppsThatMayNotBeRecordedOpenNothing) {
  for (const ActivityApp& app : {chat, ActivityApp{"com.orvik.thetovarin", "TheTovarin"},
                                 ActivityApp{"com.example.unticked", "Other"}}) {
    IntervalBuilder builder(recording(), [] { return std::string("iv"); });
    (void)builder.handle(ActivityEvent::frontmost(app, 100));
    (void)builder.handle(ActivityEvent::title(S("Window"), S(), false, 100));
    EXPECT_FALSE(builder.open()) << app.bundleId;
  }
  (void)front(editor, 100);
  EXPECT_EQ(front(std::nullopt, 200).size(), 1u);
  EXPECT_FALSE(builder_.open());
}

TEST_F(IntervalBuilderTest, EventsWithoutAFiniteTimeChangeNothing) {
  (void)front(editor, 100);
  (void)title(S("Doc"), 100);
  for (double at : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    EXPECT_TRUE(handle(ActivityEvent::suspend(SuspendReason::idle, at)).empty());
    EXPECT_TRUE(handle(ActivityEvent::flush(at)).empty());
    EXPECT_TRUE(title(S("Other"), at).empty());
  }
  EXPECT_TRUE(builder_.suspended().empty());
  EXPECT_EQ(builder_.open(), (IntervalBuilder::Open{editor.bundleId, editor.name, "Doc", std::nullopt, 100}));
}

TEST_F(IntervalBuilderTest, AMinimumOfZeroKeepsZeroLengthStretches) {
  IntervalBuilder builder(recording(), 0.0, [] { return std::string("iv"); });
  (void)builder.handle(ActivityEvent::frontmost(editor, 100));
  EXPECT_EQ(builder.handle(ActivityEvent::title(S("Doc"), S(), false, 100)).size(), 1u);
}

}  // namespace
}  // namespace tovarin
