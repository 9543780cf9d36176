#include "main/activity_core/ExclusionPolicy.h"

#include <set>

#include <gtest/gtest.h>

#include "base/Text.h"
#include "main/activity_core/DomainSanitizer.h"

namespace tovarin {
namespace {

using Category = ExclusionCategory;

ActivitySettings settingsWith(bool enabled, std::vector<std::string> included, bool paused = false) {
  ActivitySettings settings;
  settings.enabled = enabled;
  settings.paused = paused;
  settings.included = std::move(included);
  return settings;
}

TEST(ExclusionPolicyTest, DecideTakesSelfThenCategoryThenSwitchThenTicks) {
  struct Case {
    const char* bundleId;
    ActivitySettings settings;
    CaptureDecision expected;
  } cases[] = {
      {"COM.ORVIK.THETOVARIN", settingsWith(false, {}), CaptureDecision::selfApp()},
      {"com.orvik.thetovarin.widget", settingsWith(true, {"com.orvik.thetovarin.widget"}), CaptureDecision::selfApp()},
      // More letters straight after the own id make another app.
      {"com.orvik.thetovarinx", settingsWith(true, {"com.orvik.thetovarinx"}), CaptureDecision::record()},
      // Sensitive apps stay out even when ticked, and even with the record off.
      {"com.tencent.xinWeChat", settingsWith(false, {"com.tencent.xinWeChat"}), CaptureDecision::excluded(Category::messaging)},
      {"com.tencent.xinWeChat", settingsWith(true, {"com.tencent.xinwechat"}), CaptureDecision::excluded(Category::messaging)},
      {"com.example.editor", settingsWith(false, {"com.example.editor"}), CaptureDecision::notIncluded()},
      {"com.example.Editor", settingsWith(true, {"COM.EXAMPLE.EDITOR"}), CaptureDecision::record()},
      {"com.example.editor", settingsWith(true, {}), CaptureDecision::notIncluded()},
      {"com.example.editor", settingsWith(true, {"com.example.editor2"}), CaptureDecision::notIncluded()},
      // A pause is the builder's business, not the verdict's.
      {"com.example.editor", settingsWith(true, {"com.example.editor"}, true), CaptureDecision::record()},
      // Linux desktop-file ids of sensitive apps.
      {"org.gnome.Evolution", settingsWith(true, {"org.gnome.Evolution"}), CaptureDecision::excluded(Category::messaging)},
      {"signal-desktop", settingsWith(true, {"signal-desktop"}), CaptureDecision::excluded(Category::messaging)},
      {"org.keepassxc.KeePassXC", settingsWith(true, {}), CaptureDecision::excluded(Category::passwords)},
      {"org.gnucash.GnuCash", settingsWith(true, {}), CaptureDecision::excluded(Category::finance)},
      {"dev.Cogitri.Health", settingsWith(true, {}), CaptureDecision::excluded(Category::health)},
      {"signal-desktop.desktop", settingsWith(true, {"signal-desktop.desktop"}), CaptureDecision::excluded(Category::messaging)},
      // Ids that end in ".desktop" themselves, with and without the file's suffix.
      {"org.telegram.desktop", settingsWith(true, {"org.telegram.desktop"}), CaptureDecision::excluded(Category::messaging)},
      {"com.bitwarden.desktop", settingsWith(true, {"com.bitwarden.desktop"}), CaptureDecision::excluded(Category::passwords)},
      {"com.bitwarden.desktop.desktop", settingsWith(true, {}), CaptureDecision::excluded(Category::passwords)},
      {"com.apple.Health", settingsWith(true, {}), CaptureDecision::excluded(Category::health)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExclusionPolicy::decide(c.bundleId, c.settings), c.expected) << c.bundleId;
  }
}

TEST(ExclusionPolicyTest, CategoryByExactIdThenFirstPrefix) {
  struct Case {
    const char* bundleId;
    std::optional<Category> expected;
  } cases[] = {
      {"com.agilebits.anything.new", Category::passwords},
      {"COM.OUTERCORNER.SECRETS.beta", Category::passwords},
      {"com.OuterCorner.SecretsPro", Category::passwords},
      {"cmb.whatever", Category::finance},
      {"cmbx.app", std::nullopt},
      {"com.markmcguill.strongbox.ios", Category::passwords},
      {"com.readdle.smartemail-beta", Category::messaging},
      {"com.apple.mail", Category::messaging},
      {"COM.APPLE.MAIL", Category::messaging},
      {"com.apple.mailer", std::nullopt},
      {"com.example.editor", std::nullopt},
      {"", std::nullopt},
      {".desktop", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExclusionPolicy::category(c.bundleId), c.expected) << c.bundleId;
  }
}

TEST(ExclusionPolicyTest, BrowsersByIdOrPrefix) {
  struct Case {
    const char* bundleId;
    bool browser;
  } cases[] = {
      {"com.google.Chrome", true},
      {"COM.GOOGLE.CHROME.canary2", true},
      {"com.google.chromex", false},
      {"org.mozilla.firefoxnightly", true},
      {"company.thebrowser.Browser", true},
      {"firefox", true},
      {"firefox-esr", true},
      {"firefox_firefox", true},
      {"google-chrome-beta", true},
      {"org.gnome.Epiphany", true},
      {"firefox.desktop", true},
      {"vivaldi-snapshot", true},
      {"org.gnome.Evolution", false},
      {"com.example.editor", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExclusionPolicy::isBrowserLike(c.bundleId), c.browser) << c.bundleId;
  }
}

TEST(ExclusionPolicyTest, SensitiveContentChecksTheHostThenBrowserTitles) {
  using S = std::optional<std::string>;
  struct Case {
    S title;
    S domain;
    S bundleId;
    std::optional<Category> expected;
  } cases[] = {
      {S(), S("accounts.mail.google.com"), S("com.google.Chrome"), Category::messaging},
      {S(), S("notmail.google.com"), S("com.google.Chrome"), std::nullopt},
      {S(), S(" WWW.PayPal.com. "), S("firefox"), Category::finance},
      {S(), S("online.example.bank"), S("firefox"), Category::finance},
      {S(), S("bank"), S("firefox"), std::nullopt},
      {S(), S("mychart.example.org"), S("firefox"), Category::health},
      {S(), S("notmychart.example.org"), S("firefox"), std::nullopt},
      {S(), S("vault.bitwarden.com"), S("firefox"), Category::passwords},
      // The host counts whatever the app; titles count only for browsers.
      {S("notes"), S("zoom.us"), S("com.example.editor"), Category::messaging},
      {S("Gmail - Inbox"), S(), S("com.example.editor"), std::nullopt},
      {S("Gmail - Inbox"), S(), S(), Category::messaging},
      {S("[邮箱] - Mail"), S(), S("com.google.Chrome"), Category::messaging},
      // Keyword order decides: "inbox" comes before "paypal".
      {S("PayPal receipt in my Inbox"), S(), S("com.google.Chrome"), Category::messaging},
      {S("Your ONLINE BANKING"), S(), S("firefox"), Category::finance},
      {S("招商银行"), S(), S("firefox"), Category::finance},
      {S("MyChart - Test results"), S(), S("firefox"), Category::health},
      {S(""), S(), S("firefox"), std::nullopt},
      {S(), S(), S("firefox"), std::nullopt},
      {S("Release notes"), S("example.com"), S("firefox"), std::nullopt},
      // A host that does not survive cleaning is not looked up, but the title still is.
      {S("gmail"), S("mail.google.com:443"), S("firefox"), Category::messaging},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExclusionPolicy::sensitiveContent(c.title, c.domain, c.bundleId), c.expected)
        << c.title.value_or("-") << " | " << c.domain.value_or("-") << " | " << c.bundleId.value_or("-");
  }
}

TEST(ExclusionPolicyTest, SiteTableRowsAreCleanDistinctAndNeverNested) {
  const auto& rows = ExclusionPolicy::domains();
  std::set<std::string> seen;
  for (const auto& [host, category] : rows) {
    EXPECT_EQ(DomainSanitizer::clean(host), host) << host;
    EXPECT_FALSE(host.starts_with("www.")) << host;
    EXPECT_TRUE(seen.insert(host).second) << "duplicate " << host;
    for (const auto& [other, otherCategory] : rows) {
      EXPECT_FALSE(host.size() > other.size() && host.ends_with("." + other)) << host << " under " << other;
    }
  }
}

TEST(ExclusionPolicyTest, AppListsNeverFileOneIdUnderTwoCategories) {
  std::map<std::string, Category> seen;
  for (const auto& list : ExclusionPolicy::bundleLists()) {
    for (const std::string& id : list.ids) {
      auto [it, inserted] = seen.emplace(text::lowercased(id), list.category);
      EXPECT_TRUE(inserted || it->second == list.category) << id;
    }
  }
  EXPECT_EQ(seen.size(), ExclusionPolicy::bundles().size());
}

TEST(ExclusionPolicyTest, NoBrowserIsExcludedAndKeywordsAreLowerCase) {
  // An excluded browser could never be recorded at all.
  for (const std::string& browser : ExclusionPolicy::browsers()) {
    EXPECT_EQ(ExclusionPolicy::category(browser), std::nullopt) << browser;
    EXPECT_EQ(text::lowercased(browser), browser);
  }
  // Titles are lower-cased before the search: an upper-case keyword would never match.
  for (const auto& [keyword, category] : ExclusionPolicy::titleKeywords()) {
    EXPECT_EQ(text::lowercased(keyword), keyword) << keyword;
  }
}

TEST(ExclusionPolicyTest, CategoriesRoundTripTheirRawValues) {
  for (Category category : allExclusionCategories) {
    EXPECT_EQ(exclusionCategoryFromRaw(rawValue(category)), category);
  }
  EXPECT_EQ(exclusionCategoryFromRaw("Messaging"), std::nullopt);
  EXPECT_EQ(exclusionCategoryFromRaw(""), std::nullopt);
}

}  // namespace
}  // namespace tovarin
