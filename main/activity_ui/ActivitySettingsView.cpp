#include "main/activity_ui/ActivitySettingsView.h"

#include "main/activity_core/ActivityDisclosure.h"
#include "main/activity_core/ClearRange.h"
#include "main/activity_core/ExclusionPolicy.h"

namespace tovarin::ActivitySettingsView {
namespace {

using Kind = ActivityStatus::Kind;

Element text(std::string value, TextKind kind) { return Element{std::move(value), kind, {}, {}, {}}; }

Element withControls(std::string value, TextKind kind, std::vector<Control> controls, std::string detail = {}) {
  return Element{std::move(value), kind, std::move(detail), {}, std::move(controls)};
}

Control toggle(std::string title, Action action, bool on, bool enabled, std::string argument = {}) {
  Control control;
  control.kind = Control::Kind::toggle;
  control.title = std::move(title);
  control.action = action;
  control.on = on;
  control.enabled = enabled;
  control.argument = std::move(argument);
  return control;
}

Control button(std::string title, Action action, Style style, bool enabled = true, bool deferred = false,
               std::string argument = {}) {
  Control control;
  control.title = std::move(title);
  control.action = action;
  control.style = style;
  control.enabled = enabled;
  control.deferred = deferred;
  control.argument = std::move(argument);
  return control;
}

Card recordCard(const ActivityViewModel& model) {
  const auto& settings = model.settings();
  Card card{"记录", {}};
  card.elements.push_back(withControls("记录活动", TextKind::title,
                                       {toggle("记录活动", Action::setEnabled, settings.enabled, true)},
                                       model.status().statusLine()));
  if (!settings.enabled) {
    card.elements.push_back(
        text("关着的时候什么都不记。打开后只记下面勾选的 App，并绑定此刻登录的岚笺账号。", TextKind::explanation));
    return card;
  }
  const Kind kind = model.status().kind;
  const bool pausable = kind == Kind::recording || kind == Kind::needsAccess || kind == Kind::paused;
  card.elements.push_back(withControls(
      model.stored(), TextKind::faint,
      {button(settings.paused ? "继续记录" : "暂停记录", Action::setPaused, Style::secondary, pausable)}));
  card.elements.push_back(text("暂停期间不记录，对话也读不到这些记录。关闭会删除全部记录。", TextKind::note));
  card.elements.push_back(text("记录绑定开启时登录的岚笺账号：换了账号读不到，也不在它登录时记录。", TextKind::note));
  return card;
}

Card keyCard() {
  return Card{"记录暂时打不开",
              {text("钥匙串没有给出解开这些记录的密钥：可能是钥匙串拒绝了访问，也可能是密钥已被删除。在此期间不记录，对话也读不到。",
                    TextKind::explanation),
               withControls({}, TextKind::note,
                            {button("再试一次", Action::retryKeyAccess, Style::primary),
                             button("清掉解不开的记录并重新开始…", Action::resetAfterKeyLoss, Style::destructive, true,
                                    true)})}};
}

Card accountCard(const ActivityStatus& status) {
  Card card{"所属账号", {}};
  card.elements.push_back(text(status.kind == Kind::unbound
                                   ? "这些活动记录还没有绑定岚笺账号：任何账号都读不到，也不会继续记录。"
                                   : "这台电脑上的活动记录属于另一个岚笺账号——开启记录时登录的那个。现在登录的账号读不到这些记录，这期间也不记录。",
                               TextKind::explanation));
  const bool otherAccount = status.kind == Kind::otherAccount;
  if (otherAccount && status.kept) {
    card.elements.push_back(text("已保留给原来的账号：它重新登录后照常记录，也照常能在对话里读到。", TextKind::note));
  }
  std::vector<Control> buttons = {button("改绑到当前账号…", Action::rebind, Style::destructive, true, true)};
  if (otherAccount && !status.kept) buttons.push_back(button("保留给原来的账号", Action::keepForOriginal, Style::secondary));
  card.elements.push_back(withControls({}, TextKind::note, std::move(buttons)));
  card.elements.push_back(text("改绑会删除这台电脑上的全部活动记录并换一把新密钥，之后只记当前账号。", TextKind::note));
  return card;
}

Card accessCard(bool trusted) {
  Card card{"辅助功能权限",
            {text("读窗口标题需要「辅助功能」权限。岚笺只读前台窗口的标题，不读窗口里的内容，不记打字，不截图，不录音。",
                  TextKind::explanation)}};
  std::vector<Control> controls;
  if (!trusted) controls.push_back(button("打开系统设置", Action::requestAccessibility, Style::primary));
  card.elements.push_back(withControls(trusted ? "已授权" : "未授权", TextKind::title, std::move(controls)));
  if (!trusted) {
    card.elements.push_back(
        text("在「隐私与安全性 → 辅助功能」里打开岚笺。没有这项权限时不记录，对话也读不到。", TextKind::note));
  }
  return card;
}

Element appRow(const ActivityAppRow& row, bool enabled) {
  std::string note;
  if (row.exclusion) {
    note = "默认排除 · " + std::string(ExclusionPolicy::label(*row.exclusion));
  } else if (row.isBrowser) {
    note = "浏览器 · 记网页标题；邮箱、银行、密码类网页不记";
  }
  // An excluded app always shows off and can never be flipped.
  const bool excluded = row.exclusion.has_value();
  return withControls(row.name, TextKind::title,
                      {toggle(row.name, Action::setIncluded, row.included && !excluded, !excluded && enabled, row.id)},
                      std::move(note));
}

Card appsCard(const ActivityViewModel& model) {
  Card card{"只记这些 App", {}};
  for (const auto& row : model.apps()) card.elements.push_back(appRow(row, model.settings().enabled));
  Element add = withControls({}, TextKind::explanation,
                             {button("添加 App…", Action::addApp, Style::secondary, model.settings().enabled, true)});
  if (model.lastResult()) add.text = *model.lastResult();
  card.elements.push_back(std::move(add));
  card.elements.push_back(text("这几类默认排除，即使勾选也不记：", TextKind::note));
  for (ExclusionCategory category : allExclusionCategories) {
    card.elements.push_back(text(std::string(ExclusionPolicy::label(category)) + "：" +
                                     std::string(ExclusionPolicy::reason(category)),
                                 TextKind::note));
  }
  card.elements.push_back(text(
      "这份名单是尽力而为：新出的 App、改了标识的 App、网页 App 都可能漏网。真正管用的是上面这份勾选——不勾就不记。",
      TextKind::note));
  return card;
}

std::string automationNote(const ActivityViewModel& model, const std::string& id) {
  auto found = model.automation().find(id);
  if (found == model.automation().end()) return "未允许";
  switch (found->second) {
    case ActivityAutomation::allowed: return "已允许";
    case ActivityAutomation::denied: return "已拒绝 · 在「隐私与安全性 → 自动化」里打开";
    case ActivityAutomation::notRunning: return "先打开这个浏览器";
    default: return "未允许";
  }
}

Card domainCard(const ActivityViewModel& model) {
  const auto& settings = model.settings();
  Card card{"网站域名", {}};
  card.elements.push_back(withControls(
      "记录网站域名", TextKind::title,
      {toggle("记录网站域名", Action::setBrowserDomains, settings.browserDomains, settings.enabled)},
      "单独开启。需要「自动化」权限：岚笺向你勾选的浏览器询问当前标签页的网址，只保存域名，不保存完整网址。"));
  card.elements.push_back(text(
      "无痕窗口：开启这一项并允许后，Chrome、Edge、Brave、Vivaldi 的无痕窗口不记；Safari、Arc 和其余情况识别不了，无痕浏览时请先暂停。",
      TextKind::note));
  if (!settings.browserDomains) return card;
  std::vector<const ActivityAppRow*> browsers;
  for (const auto& row : model.apps()) {
    if (row.included && row.supportsDomain && !row.exclusion) browsers.push_back(&row);
  }
  if (browsers.empty()) {
    card.elements.push_back(text("还没有勾选支持的浏览器：Safari、Chrome、Edge、Brave、Arc、Vivaldi。", TextKind::note));
  }
  for (const ActivityAppRow* row : browsers) {
    const std::string note = automationNote(model, row->id);
    std::vector<Control> controls;
    if (note != "已允许") {
      controls.push_back(button("允许读取", Action::requestAutomation, Style::secondary, true, false, row->id));
    }
    card.elements.push_back(withControls(row->name, TextKind::title, std::move(controls), note));
  }
  return card;
}

Card retentionCard(const ActivitySettings& settings) {
  Control stepper;
  stepper.kind = Control::Kind::stepper;
  stepper.title = "保留 " + std::to_string(settings.retentionDays) + " 天";
  stepper.action = Action::setRetentionDays;
  stepper.value = settings.retentionDays;
  stepper.minimum = ActivitySettings::clampRetention(0);
  stepper.maximum = ActivitySettings::clampRetention(INT64_MAX);
  stepper.enabled = settings.enabled;
  return Card{"保留",
              {withControls(stepper.title, TextKind::title, {stepper}),
               text("超过这个天数的记录和小时摘要自动删除，可设 1–30 天。", TextKind::note)}};
}

Card clearCard(const ActivityViewModel& model) {
  const auto& settings = model.settings();
  const Kind kind = model.status().kind;
  const bool enabled = settings.enabled && kind != Kind::unavailable && kind != Kind::opening;
  std::vector<Control> ranges;
  for (ClearRange range : {ClearRange::last10Minutes, ClearRange::lastHour, ClearRange::lastDay}) {
    ranges.push_back(button(std::string(label(range)), Action::clear, Style::secondary, enabled, false,
                            std::string(rawValue(range))));
  }
  ranges.push_back(button("全部…", Action::clear, Style::destructive, enabled, true, std::string(rawValue(ClearRange::all))));
  const bool failed = model.destroyFailed();
  return Card{"清除",
              {withControls({}, TextKind::note, std::move(ranges)),
               text("清除会一并删掉这些时段生成的小时摘要，并换一把新密钥：清除前留下的库副本也解不开。", TextKind::note),
               withControls({}, TextKind::note,
                            {button(failed ? "重试删除…" : "关闭并删除全部记录…", Action::deleteAll, Style::destructive,
                                    settings.enabled || failed, true)})}};
}

Card disclosureCard() {
  Card card{"记录了什么", {}};
  for (const DisclosureRow& row : ActivityDisclosure::rows()) {
    // A kind of information never kept reads muted.
    card.elements.push_back(
        Element{row.item, row.stored == "从不" ? TextKind::muted : TextKind::title, row.stored, row.note, {}});
  }
  return card;
}

}  // namespace

Page describe(const ActivityViewModel& model) {
  Page page;
  page.title = windowTitle;
  page.explanation = "只记你勾选的 App 用了多久、前台窗口的标题，作为线索。线索要变成进展或记忆，必须你在对话里确认。";
  page.cards.push_back(recordCard(model));
  const Kind kind = model.status().kind;
  if (kind == Kind::unavailable) page.cards.push_back(keyCard());
  if (kind == Kind::otherAccount || kind == Kind::unbound) page.cards.push_back(accountCard(model.status()));
  page.cards.push_back(accessCard(model.accessibilityTrusted()));
  page.cards.push_back(appsCard(model));
  page.cards.push_back(domainCard(model));
  page.cards.push_back(retentionCard(model.settings()));
  page.cards.push_back(clearCard(model));
  page.cards.push_back(disclosureCard());
  page.footer = std::string(ActivityDisclosure::leavesComputerLine);
  return page;
}

const Card* card(const Page& page, const std::string& title) {
  for (const Card& each : page.cards) {
    if (each.title == title) return &each;
  }
  return nullptr;
}

const Control* control(const Page& page, const std::string& title) {
  for (const Card& each : page.cards) {
    for (const Element& element : each.elements) {
      for (const Control& found : element.controls) {
        if (found.title == title) return &found;
      }
    }
  }
  return nullptr;
}

}  // namespace tovarin::ActivitySettingsView
