#include "main/activity_ui/ActivitySettingsView.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

namespace View = ActivitySettingsView;
using Kind = ActivityStatus::Kind;

std::vector<std::string> cardTitles(const View::Page& page) {
  std::vector<std::string> titles;
  for (const auto& card : page.cards) titles.push_back(card.title);
  return titles;
}

bool enabled(const View::Page& page, const std::string& title) {
  const View::Control* control = View::control(page, title);
  EXPECT_TRUE(control) << title;
  return control && control->enabled;
}

ActivityViewModel modelWith(bool on, ActivityStatus status) {
  ActivityViewModel model;
  ActivitySettings settings;
  settings.enabled = on;
  model.setSettings(settings);
  model.setStatus(std::move(status));
  return model;
}

TEST(ActivitySettingsViewTest, KeyAndAccountCardsAppearOnlyForTheirStatuses) {
  const std::vector<std::string> always = {"记录", "辅助功能权限", "只记这些 App", "网站域名", "保留", "清除", "记录了什么"};
  struct Case {
    ActivityStatus status;
    const char* extra;  // the card between "记录" and "辅助功能权限", if any
  };
  const Case cases[] = {
      {ActivityStatus::of(Kind::off), nullptr},
      {ActivityStatus::recording("X"), nullptr},
      {ActivityStatus::of(Kind::signedOut), nullptr},
      {ActivityStatus::unavailable(ActivityStoreState::keyLocked), "记录暂时打不开"},
      {ActivityStatus::unavailable(ActivityStoreState::absent), "记录暂时打不开"},
      {ActivityStatus::otherAccount(true), "所属账号"},
      {ActivityStatus::otherAccount(false), "所属账号"},
      {ActivityStatus::of(Kind::unbound), "所属账号"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> expected = always;
    if (c.extra) expected.insert(expected.begin() + 1, c.extra);
    EXPECT_EQ(cardTitles(View::describe(modelWith(true, c.status))), expected) << c.status.statusLine();
  }
}

// Every text of the window, in every status that changes what it shows, names this
// computer and never a Mac.
TEST(ActivitySettingsViewTest, NoTextNamesTheMac) {
  const ActivityStatus statuses[] = {ActivityStatus::of(Kind::off), ActivityStatus::recording("X"),
                                     ActivityStatus::unavailable(ActivityStoreState::keyMissing),
                                     ActivityStatus::otherAccount(true), ActivityStatus::otherAccount(false),
                                     ActivityStatus::of(Kind::unbound)};
  for (const ActivityStatus& status : statuses) {
    const View::Page page = View::describe(modelWith(status.kind != Kind::off, status));
    std::vector<std::string> texts = {page.title, page.explanation, page.footer};
    for (const View::Card& card : page.cards) {
      texts.push_back(card.title);
      for (const View::Element& element : card.elements) {
        texts.insert(texts.end(), {element.text, element.detail, element.extra});
        for (const View::Control& control : element.controls) texts.push_back(control.title);
      }
    }
    for (const std::string& text : texts) EXPECT_EQ(text.find("Mac"), std::string::npos) << text;
    EXPECT_EQ(page.title, "活动记录");
  }
  EXPECT_EQ(View::describe(modelWith(false, ActivityStatus::of(Kind::off))).footer,
            "记录加密存在这台电脑上。除了你在对话里允许读取的那几段，它们不会离开这台电脑。");
}

TEST(ActivitySettingsViewTest, AccountButtonsFollowWhetherTheRecordWasKept) {
  const auto kept = View::describe(modelWith(true, ActivityStatus::otherAccount(true)));
  EXPECT_TRUE(View::control(kept, "改绑到当前账号…"));
  EXPECT_FALSE(View::control(kept, "保留给原来的账号"));
  const auto notKept = View::describe(modelWith(true, ActivityStatus::otherAccount(false)));
  EXPECT_TRUE(View::control(notKept, "保留给原来的账号"));
  EXPECT_TRUE(View::control(notKept, "改绑到当前账号…")->deferred);
  const auto unbound = View::describe(modelWith(true, ActivityStatus::of(Kind::unbound)));
  EXPECT_EQ(View::card(unbound, "所属账号")->elements[0].text,
            "这些活动记录还没有绑定岚笺账号：任何账号都读不到，也不会继续记录。");
  EXPECT_FALSE(View::control(unbound, "保留给原来的账号"));
}

TEST(ActivitySettingsViewTest, PauseIsUsableOnlyWhileRecordingNeedingAccessOrPaused) {
  struct Case {
    ActivityStatus status;
    bool usable;
  };
  const Case cases[] = {
      {ActivityStatus::recording(std::nullopt), true},   {ActivityStatus::of(Kind::needsAccess), true},
      {ActivityStatus::of(Kind::paused), true},          {ActivityStatus::of(Kind::opening), false},
      {ActivityStatus::of(Kind::waitingForAccount), false}, {ActivityStatus::of(Kind::signedOut), false},
      {ActivityStatus::of(Kind::unbound), false},        {ActivityStatus::otherAccount(false), false},
      {ActivityStatus::unavailable(ActivityStoreState::keyMissing), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(enabled(View::describe(modelWith(true, c.status)), "暂停记录"), c.usable) << c.status.statusLine();
  }
}

TEST(ActivitySettingsViewTest, WithTheRecordOffOnlyTheSwitchAndARetriedDeletionAreUsable) {
  ActivityViewModel model = modelWith(false, ActivityStatus::of(Kind::off));
  model.setApps({{"org.gnome.Calculator", "Calculator", true, std::nullopt, false, false}});
  auto page = View::describe(model);
  EXPECT_EQ(View::card(page, "记录")->elements.size(), 2u);
  EXPECT_FALSE(View::control(page, "暂停记录"));
  EXPECT_TRUE(enabled(page, "记录活动"));
  for (const char* title : {"Calculator", "添加 App…", "记录网站域名", "保留 7 天", "最近 10 分钟", "最近 1 小时",
                            "最近 1 天", "全部…", "关闭并删除全部记录…"}) {
    EXPECT_FALSE(enabled(page, title)) << title;
  }
  model.setDestroyFailed(true);
  page = View::describe(model);
  EXPECT_TRUE(enabled(page, "重试删除…"));
  EXPECT_TRUE(View::control(page, "重试删除…")->deferred);
}

TEST(ActivitySettingsViewTest, ClearButtonsFollowTheStatusNotTheOwner) {
  struct Case {
    ActivityStatus status;
    bool usable;
  };
  const Case cases[] = {{ActivityStatus::of(Kind::signedOut), true},
                        {ActivityStatus::otherAccount(false), true},
                        {ActivityStatus::recording("A"), true},
                        {ActivityStatus::of(Kind::opening), false},
                        {ActivityStatus::unavailable(ActivityStoreState::keyLocked), false}};
  for (const Case& c : cases) {
    const auto page = View::describe(modelWith(true, c.status));
    EXPECT_EQ(enabled(page, "最近 1 小时"), c.usable) << c.status.statusLine();
    EXPECT_EQ(enabled(page, "全部…"), c.usable) << c.status.statusLine();
    EXPECT_TRUE(enabled(page, "关闭并删除全部记录…"));
  }
}

TEST(ActivitySettingsViewTest, ExcludedAppsShowOffAndLockedBrowsersListTheirPermission) {
  ActivityViewModel model = modelWith(true, ActivityStatus::recording(std::nullopt));
  ActivitySettings settings = model.settings();
  settings.browserDomains = true;
  model.setSettings(settings);
  model.setApps({{"org.signal.Signal", "Signal", true, ExclusionCategory::messaging, false, false},
                 {"firefox", "Firefox", true, std::nullopt, true, true},
                 {"chromium", "Chromium", true, std::nullopt, true, true},
                 {"vault-browser", "Vault", true, ExclusionCategory::passwords, true, true}});
  model.setAutomation({{"firefox", ActivityAutomation::allowed}});
  const auto page = View::describe(model);
  const View::Control* signal = View::control(page, "Signal");
  ASSERT_TRUE(signal);
  EXPECT_FALSE(signal->on);
  EXPECT_FALSE(signal->enabled);
  EXPECT_EQ(View::card(page, "只记这些 App")->elements[0].detail, "默认排除 · 通讯与会议");

  const View::Card* domains = View::card(page, "网站域名");
  std::vector<std::string> rows;
  for (const auto& element : domains->elements) {
    if (element.kind == View::TextKind::title && element.text != "记录网站域名") {
      rows.push_back(element.text + " " + element.detail + " " + std::to_string(element.controls.size()));
    }
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"Firefox 已允许 0", "Chromium 未允许 1"}));
}

TEST(ActivitySettingsViewTest, DisclosureNeverRowsAreMutedAndAddingAppsWaitsATurn) {
  ActivityViewModel model = modelWith(true, ActivityStatus::recording(std::nullopt));
  const auto page = View::describe(model);
  bool sawNever = false;
  for (const auto& element : View::card(page, "记录了什么")->elements) {
    EXPECT_EQ(element.kind == View::TextKind::muted, element.detail == "从不") << element.text;
    sawNever = sawNever || element.detail == "从不";
  }
  EXPECT_TRUE(sawNever);
  const View::Control* add = View::control(page, "添加 App…");
  ASSERT_TRUE(add);
  EXPECT_TRUE(add->deferred);
}

}  // namespace
}  // namespace tovarin
