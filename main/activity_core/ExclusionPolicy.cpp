#include "main/activity_core/ExclusionPolicy.h"

#include "base/Text.h"
#include "main/activity_core/DomainSanitizer.h"

namespace tovarin::ExclusionPolicy {

namespace {

using Category = ExclusionCategory;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Lower-cased as given, then also without a ".desktop" suffix: an id taken from a
// desktop file's name still finds its table entry, and ids that end in ".desktop"
// themselves (some Flatpak ids do) find theirs, so a sensitive app cannot slip
// through by the way its id was spelled.
std::vector<std::string> lookupForms(std::string_view bundleId) {
  std::vector<std::string> forms{text::lowercased(bundleId)};
  constexpr std::string_view fileSuffix = ".desktop";
  const std::string& lower = forms.front();
  if (lower.size() > fileSuffix.size() && endsWith(lower, fileSuffix)) {
    forms.push_back(lower.substr(0, lower.size() - fileSuffix.size()));
  }
  return forms;
}

}  // namespace

const std::vector<BundleList>& bundleLists() {
  static const std::vector<BundleList> lists{
      {Category::messaging,
       {"com.apple.MobileSMS", "com.apple.iChat", "com.apple.mail", "com.apple.FaceTime", "com.tencent.xinWeChat",
        "com.tencent.qq", "com.tencent.WeWorkMac", "com.tencent.meeting", "com.alibaba.DingTalkMac",
        "com.bytedance.lark", "com.electron.lark", "com.larksuite.lark", "com.tinyspeck.slackmacgap",
        "ru.keepcoder.Telegram", "org.telegram.desktop", "net.whatsapp.WhatsApp", "desktop.WhatsApp",
        "com.hnc.Discord", "org.whispersystems.signal-desktop", "com.microsoft.Outlook", "com.microsoft.teams",
        "com.microsoft.teams2", "us.zoom.xos", "com.skype.skype", "jp.naver.line.mac", "com.kakao.KakaoTalkMac",
        "com.facebook.archon", "com.readdle.smartemail-Mac", "com.readdle.SparkDesktop", "it.bloop.airmail2",
        "com.google.Gmail", "com.superhuman.electron", "com.webex.meetingmanager", "Cisco-Systems.Spark",
        "com.tdesktop.Telegram", "com.tencent.Foxmail", "org.mozilla.thunderbird", "com.tencent.tim",
        "com.netease.mailmaster", "com.mimestream.Mimestream", "io.canarymail.mac", "com.viber.osx",
        "com.bytedance.macos.feishu", "com.larksuite.larkmacos", "com.tencent.WeWorkMac.tim",
        "com.postbox-inc.postbox", "com.CanaryMail.CanaryMail", "com.edisonmail.EdisonMail", "com.foxmail.mac",
        "org.mozilla.thunderbird.daily"}},
      {Category::health, {"com.apple.Health", "com.apple.Mindfulness"}},
      {Category::finance,
       {"com.apple.stocks", "com.apple.Wallet", "com.moneymoney-app.retail", "com.quicken.Quicken",
        "com.intuit.QuickBooks", "com.binance.BinanceDesktop", "com.ynab.YNAB", "com.moneywiz.personalfinance",
        "com.alipay.iphoneclient", "cmb.pb", "com.eastmoney.mac", "com.hexin.mac", "com.chinamworld.main",
        "com.icbc.iphoneclient", "com.tenpay.wechatpay", "com.unionpay.chsp", "com.jd.jdjr"}},
      {Category::passwords,
       {"com.1password.1password", "com.bitwarden.desktop", "com.lastpass.LastPass", "org.keepassxc.keepassxc",
        "com.apple.keychainaccess", "com.apple.Passwords", "in.sinew.Enpass-Desktop",
        "com.keepersecurity.passwordmanager", "com.dashlane.dashlanephonefinal", "com.nordsec.nordpass",
        "com.proton.pass", "com.authy.authy-mac", "com.markmcguill.strongbox.mac", "com.outercorner.Secrets",
        "com.agilebits.onepassword7"}},
      // Linux desktop-file ids of the same kinds of app (native, Flatpak, Snap).
      {Category::messaging,
       {"evolution", "org.gnome.Evolution", "thunderbird", "thunderbird_thunderbird", "eu.betterbird.Betterbird",
        "org.gnome.Geary", "org.kde.kmail2", "org.kde.kontact", "mailspring", "com.getmailspring.Mailspring",
        "claws-mail", "org.claws_mail.Claws-Mail", "telegramdesktop", "telegram-desktop_telegram-desktop",
        "signal-desktop", "org.signal.Signal", "signal-desktop_signal-desktop", "slack", "com.slack.Slack",
        "slack_slack", "discord", "com.discordapp.Discord", "discord_discord", "element-desktop", "im.riot.Riot",
        "skypeforlinux", "com.skype.Client", "skype_skypeforlinux", "zoom", "us.zoom.Zoom",
        "zoom-client_zoom-client", "teams", "teams-for-linux", "com.github.IsmaelMartinez.teams_for_linux",
        "wechat", "com.tencent.WeChat", "qq", "com.qq.QQ", "dingtalk", "com.alibabainc.dingtalk",
        "bytedance-feishu", "wemeetapp", "whatsapp-for-linux", "com.github.eneshecan.WhatsAppForLinux",
        "org.gnome.Fractal", "org.kde.neochat", "org.gajim.Gajim", "pidgin", "viber", "com.viber.Viber",
        "wire-desktop", "com.wire.WireDesktop", "mattermost-desktop", "com.mattermost.Desktop", "zulip",
        "org.zulip.Zulip", "caprine", "com.sindresorhus.Caprine"}},
      {Category::health, {"dev.Cogitri.Health"}},
      {Category::finance,
       {"gnucash", "org.gnucash.GnuCash", "kmymoney", "org.kde.kmymoney", "homebank", "fr.free.Homebank",
        "mmex", "org.moneymanagerex.MMEX", "skrooge", "org.kde.skrooge", "grisbi", "org.grisbi.Grisbi",
        "electrum", "org.electrum.electrum", "exodus", "io.exodus.Exodus", "ledger-live-desktop"}},
      {Category::passwords,
       {"keepassxc", "keepass2", "bitwarden", "bitwarden_bitwarden", "1password", "seahorse",
        "org.gnome.seahorse.Application", "kwalletmanager5", "org.kde.kwalletmanager5", "org.kde.kwalletmanager",
        "org.gnome.World.Secrets", "org.gnome.PasswordSafe", "enpass", "proton-pass", "me.proton.Pass",
        "nordpass", "authy", "authy_authy", "com.belmoussaoui.Authenticator", "org.kde.keysmith", "qtpass"}},
  };
  return lists;
}

const std::unordered_map<std::string, ExclusionCategory>& bundles() {
  static const std::unordered_map<std::string, ExclusionCategory> table = [] {
    std::unordered_map<std::string, ExclusionCategory> built;
    for (const BundleList& list : bundleLists()) {
      for (const std::string& id : list.ids) built[text::lowercased(id)] = list.category;
    }
    return built;
  }();
  return table;
}

const std::vector<CategoryRow>& bundlePrefixes() {
  static const std::vector<CategoryRow> rows{
      {"com.agilebits.", Category::passwords},
      {"com.1password.", Category::passwords},
      {"com.bitwarden.", Category::passwords},
      {"cn.futu.", Category::finance},
      {"com.futu.", Category::finance},
      {"com.tigerbrokers.", Category::finance},
      {"com.webull.", Category::finance},
      {"com.coinbase.", Category::finance},
      {"com.robinhood.", Category::finance},
      {"com.okex.", Category::finance},
      {"com.tdesktop.", Category::messaging},
      {"com.mimestream.", Category::messaging},
      {"io.canarymail.", Category::messaging},
      {"com.readdle.smartemail", Category::messaging},
      {"com.bytedance.macos.feishu", Category::messaging},
      {"com.larksuite.", Category::messaging},
      {"cmb.", Category::finance},
      {"com.icbc.", Category::finance},
      {"com.ccb.", Category::finance},
      {"com.abchina.", Category::finance},
      {"com.chinamworld.", Category::finance},
      {"com.bankcomm.", Category::finance},
      {"com.cmbchina.", Category::finance},
      {"com.alipay.", Category::finance},
      {"com.eastmoney.", Category::finance},
      {"com.hexin.", Category::finance},
      {"com.unionpay.", Category::finance},
      {"com.authy.", Category::passwords},
      {"com.markmcguill.strongbox", Category::passwords},
      {"com.outercorner.Secrets", Category::passwords},
  };
  return rows;
}

const std::unordered_set<std::string>& browsers() {
  static const std::unordered_set<std::string> table{
      "com.apple.safari", "com.apple.safaritechnologypreview", "com.google.chrome", "com.google.chrome.canary",
      "com.microsoft.edgemac", "org.mozilla.firefox", "company.thebrowser.browser", "com.brave.browser",
      "com.operasoftware.opera", "com.vivaldi.vivaldi", "com.kagi.kagimacos", "com.duckduckgo.macos.browser",
      "com.tencent.qqbrowser", "com.360.browser", "org.chromium.chromium", "com.quark.browser", "com.quark.desktop",
      "ru.yandex.desktop.yandex-browser", "com.microsoft.edgemac.beta", "com.microsoft.edgemac.dev",
      "com.google.chrome.beta", "com.google.chrome.dev", "com.naver.whale", "com.maxthon.mac",
      "net.waterfox.waterfox", "org.torproject.torbrowser",
      // Linux desktop-file ids.
      "firefox", "firefox-esr", "firefox_firefox", "google-chrome", "chromium", "chromium-browser",
      "chromium_chromium", "microsoft-edge", "com.microsoft.edge", "brave-browser", "brave_brave",
      "vivaldi-stable", "opera", "com.opera.opera", "org.gnome.epiphany", "epiphany", "org.kde.falkon", "falkon",
      "org.qutebrowser.qutebrowser", "librewolf", "io.gitlab.librewolf-community", "waterfox", "torbrowser",
      "org.torproject.torbrowser-launcher", "yandex-browser", "midori", "app.zen_browser.zen",
      "mullvad-browser"};
  return table;
}

const std::vector<std::string>& browserPrefixes() {
  static const std::vector<std::string> prefixes{
      "com.google.chrome.", "com.apple.safari.", "com.microsoft.edgemac.", "com.brave.browser.",
      "com.vivaldi.vivaldi.", "org.mozilla.firefox", "org.chromium.chromium.", "company.thebrowser.",
      // Linux channel variants: google-chrome-beta, vivaldi-snapshot, firefox-developer-edition ...
      "firefox-", "google-chrome-", "chromium-", "microsoft-edge-", "brave-browser-", "vivaldi-", "opera-"};
  return prefixes;
}

// Sites whose pages show conversations, money, secrets or health records. Hosts are
// the services' own sign-in or web-app hosts (a subdomain matches too), chosen so
// that no row is a subdomain of another; a whole company domain is listed only when
// the company does nothing but the sensitive service (banks, brokers, vaults).
const std::vector<CategoryRow>& domains() {
  static const std::vector<CategoryRow> rows = [] {
    std::vector<CategoryRow> built;
    auto add = [&built](Category category, std::initializer_list<const char*> hosts) {
      for (const char* host : hosts) built.emplace_back(host, category);
    };
    add(Category::messaging,
        {"mail.google.com", "outlook.live.com", "outlook.office.com", "outlook.office365.com", "mail.yahoo.com",
         "mail.proton.me", "mail.qq.com", "mail.163.com", "mail.126.com", "web.whatsapp.com", "web.telegram.org",
         "messenger.com", "discord.com", "app.slack.com", "teams.microsoft.com", "teams.live.com", "zoom.us",
         "meet.google.com", "chat.google.com", "wx.qq.com", "web.wechat.com", "mail.aliyun.com"});
    add(Category::finance,
        {"paypal.com", "alipay.com", "icbc.com.cn", "ccb.com", "abchina.com", "boc.cn", "bankcomm.com",
         "cmbchina.com", "chase.com", "bankofamerica.com", "wellsfargo.com", "citi.com", "capitalone.com",
         "americanexpress.com", "discover.com", "hsbc.com", "barclays.co.uk", "schwab.com", "fidelity.com",
         "vanguard.com", "robinhood.com", "etrade.com", "coinbase.com", "binance.com"});
    add(Category::passwords,
        {"1password.com", "vault.bitwarden.com", "lastpass.com", "keepersecurity.com", "dashlane.com",
         "nordpass.com", "pass.proton.me"});
    add(Category::health, {"zocdoc.com", "haodf.com", "guahao.com", "onemedical.com", "followmyhealth.com"});
    add(Category::finance,
        {"wise.com", "revolut.com", "venmo.com", "cash.app", "klarna.com", "okx.com", "kraken.com", "futunn.com",
         "itiger.com", "webull.com", "interactivebrokers.com", "eastmoney.com", "10jqka.com.cn", "unionpay.com",
         "95516.com", "tenpay.com", "cmbc.com.cn", "spdb.com.cn", "cib.com.cn", "citicbank.com", "psbc.com",
         "n26.com", "ally.com", "usbank.com"});
    add(Category::messaging,
        {"mail.zoho.com", "mail.yandex.com", "fastmail.com", "app.tuta.com", "mail.sina.com.cn", "exmail.qq.com",
         "feishu.cn", "larksuite.com", "im.dingtalk.com", "messages.google.com", "web.skype.com"});
    return built;
  }();
  return rows;
}

const std::vector<CategoryRow>& titleKeywords() {
  static const std::vector<CategoryRow> rows = [] {
    std::vector<CategoryRow> built;
    auto add = [&built](Category category, std::initializer_list<const char*> keywords) {
      for (const char* keyword : keywords) built.emplace_back(keyword, category);
    };
    add(Category::messaging, {"gmail", "outlook", "whatsapp", "telegram", "messenger", "slack", "discord", "inbox",
                              "微信", "企业微信", "qq邮箱", "网易邮箱", "钉钉", "收件箱"});
    add(Category::finance, {"paypal", "支付宝", "网上银行", "网银", "手机银行", "online banking"});
    add(Category::passwords, {"1password", "bitwarden", "lastpass", "密码管理", "钥匙串访问"});
    add(Category::health, {"mychart", "病历", "体检报告", "化验单", "检查报告", "处方"});
    add(Category::messaging,
        {"yahoo mail", "icloud 邮件", "icloud mail", "proton mail", "protonmail", "飞书", "lark - ", "messages / x",
         "messaging | linkedin", "webmail", "roundcube", "zimbra", "邮件 -", "新邮件", "[邮箱]"});
    add(Category::finance, {"银行", "信用卡", "wells fargo", "bank of america", "capital one", "american express",
                            "citibank", "credit card"});
    return built;
  }();
  return rows;
}

std::optional<ExclusionCategory> category(std::string_view bundleId) {
  static const std::vector<CategoryRow> lowerPrefixes = [] {
    std::vector<CategoryRow> lowered;
    for (const auto& [prefix, category] : bundlePrefixes()) lowered.emplace_back(text::lowercased(prefix), category);
    return lowered;
  }();
  const auto& table = bundles();
  for (const std::string& lower : lookupForms(bundleId)) {
    if (auto found = table.find(lower); found != table.end()) return found->second;
    for (const auto& [prefix, category] : lowerPrefixes) {
      if (startsWith(lower, prefix)) return category;
    }
  }
  return std::nullopt;
}

bool isBrowserLike(std::string_view bundleId) {
  for (const std::string& lower : lookupForms(bundleId)) {
    if (browsers().contains(lower)) return true;
    for (const std::string& prefix : browserPrefixes()) {
      if (startsWith(lower, prefix)) return true;
    }
  }
  return false;
}

CaptureDecision decide(std::string_view bundleId, const ActivitySettings& settings) {
  std::string lower = text::lowercased(bundleId);
  if (lower == ownBundleId || (startsWith(lower, ownBundleId) && lower.size() > ownBundleId.size() &&
                               lower[ownBundleId.size()] == '.')) {
    return CaptureDecision::selfApp();
  }
  if (auto found = category(bundleId)) return CaptureDecision::excluded(*found);
  if (!settings.enabled) return CaptureDecision::notIncluded();
  for (const std::string& ticked : settings.included) {
    if (text::lowercased(ticked) == lower) return CaptureDecision::record();
  }
  return CaptureDecision::notIncluded();
}

namespace {

std::optional<ExclusionCategory> sensitiveHost(const std::string& host) {
  if (endsWith(host, "." + std::string(bankTopLevelDomain))) return Category::finance;
  if (startsWith(host, std::string(patientPortalLabel) + ".")) return Category::health;
  for (const auto& [row, category] : domains()) {
    if (host == row || endsWith(host, "." + row)) return category;
  }
  return std::nullopt;
}

}  // namespace

std::optional<ExclusionCategory> sensitiveContent(const std::optional<std::string>& title,
                                                  const std::optional<std::string>& domain,
                                                  const std::optional<std::string>& bundleId) {
  if (auto host = DomainSanitizer::clean(domain)) {
    if (auto category = sensitiveHost(*host)) return category;
  }
  if (bundleId && !isBrowserLike(*bundleId)) return std::nullopt;
  if (!title) return std::nullopt;
  // Canonical composition, so a keyword written precomposed also finds a title that
  // spells it decomposed.
  std::string lower = text::nfc(text::lowercased(*title));
  if (lower.empty()) return std::nullopt;
  for (const auto& [keyword, category] : titleKeywords()) {
    if (lower.find(keyword) != std::string::npos) return category;
  }
  return std::nullopt;
}

std::string_view label(ExclusionCategory category) {
  switch (category) {
    case Category::messaging: return "通讯与会议";
    case Category::health: return "健康";
    case Category::finance: return "金融与支付";
    case Category::passwords: return "密码与钥匙串";
  }
  return "";
}

std::string_view reason(ExclusionCategory category) {
  switch (category) {
    case Category::messaging: return "里面是你和别人的对话，对方没有同意被记录。";
    case Category::health: return "健康信息只在你明说时才算数，不从电脑活动里推。";
    case Category::finance: return "账户、余额和交易不该变成活动线索。";
    case Category::passwords: return "窗口标题可能带着站点和账号。";
  }
  return "";
}

}  // namespace tovarin::ExclusionPolicy
