#include "main/bridges/NotifyBridge.h"

#include <algorithm>
#include <cassert>

#include "base/Log.h"
#include "base/Text.h"
#include "main/bridges/ReminderTime.h"
#include "main/page/PageDelivery.h"

namespace tovarin {
namespace {

constexpr std::string_view noContent = "这条提醒没有内容。";
constexpr std::string_view unavailable = "这个版本不能发系统通知，提醒会留在应用内。";
constexpr std::string_view badTime = "提醒时间看不懂（要 YYYY-MM-DDTHH:mm）。";
constexpr std::string_view notHandedOver = "这条提醒没能交给系统：";

std::string refusalText(const ReminderScheduler::Refusal& refusal) {
  if (refusal.kind == ReminderScheduler::Refusal::Kind::full) {
    return "待发的提醒已经有 " + std::to_string(ReminderScheduler::maxPending) + " 条，这条排不上了，提醒会留在应用内。";
  }
  return std::string(notHandedOver) + refusal.reason;
}

bool isValidId(const std::string& id) {
  return !id.empty() && text::graphemeCount(id) <= NotifyBridge::maxIdCharacters;
}

std::string trimmedField(const Json& body, std::string_view key, size_t maxCharacters) {
  const auto value = jsonString(body, key);
  return value ? text::graphemePrefix(text::trimWhitespace(*value), maxCharacters) : std::string();
}

}  // namespace

void NotifyBridge::attach(std::weak_ptr<WebView> webView) {
  webView_ = std::move(webView);
  if (!services_.notifier.available()) {
    log("notify: 没有桌面通知服务，系统通知不可用（提醒会留在应用内）");
    return;
  }
  services_.notifier.setActivationHandler([weak = weak_from_this()](const std::string& id) {
    if (auto self = weak.lock()) self->opened(id);
  });
}

const Calendar& NotifyBridge::calendar() {
  if (!calendar_) calendar_ = services_.makeCalendar();
  return *calendar_;
}

void NotifyBridge::handle(const Json& body) {
  assert(services_.loop.isMainThread());
  if (!body.is_object()) {
    log("notify: 收到形状不对的请求，忽略");
    return;
  }
  if (auto it = body.find("cancel"); it != body.end() && it->is_array() &&
                                     std::all_of(it->begin(), it->end(), [](const Json& v) { return v.is_string(); })) {
    cancel(*it);
    return;
  }
  const auto id = jsonString(body, "id");
  if (!id || !isValidId(*id)) {
    log("notify: 请求缺少 id，忽略");
    return;
  }
  const std::string title = trimmedField(body, "title", maxTitle);
  const std::string text = trimmedField(body, "body", maxBody);
  if (title.empty() && text.empty()) return reply({{"id", *id}, {"error", noContent}});
  if (!services_.notifier.available()) return reply({{"id", *id}, {"error", unavailable}});

  std::optional<double> fireAt;
  if (const auto written = jsonString(body, "fireAt"); written && !written->empty()) {
    fireAt = ReminderTime::parse(*written, calendar());
    if (!fireAt) return reply({{"id", *id}, {"error", badTime}});
  }
  const Reminder reminder{*id, title.empty() ? std::string(defaultTitle) : title, text, fireAt.value_or(0)};
  const bool later = fireAt && *fireAt - services_.clock.now() > 1.0;
  // Requests that come while the kept reminders are still being read wait for them,
  // so that neither overwrites the other.
  services_.scheduler.whenLoaded([weak = weak_from_this(), reminder, later] {
    if (auto self = weak.lock()) self->place(reminder, later);
  });
}

void NotifyBridge::place(const Reminder& reminder, bool later) {
  if (later) {
    if (auto refusal = services_.scheduler.schedule(reminder)) {
      return reply({{"id", reminder.id}, {"error", refusalText(*refusal)}});
    }
  } else {
    // Due now: shown at once, in place of any pending one of the same id.
    services_.scheduler.cancel({reminder.id});
    services_.notifier.show(reminder.id, reminder.title, reminder.body);
  }
  reply({{"id", reminder.id}, {"ok", true}});
}

void NotifyBridge::cancel(const Json& ids) {
  std::vector<std::string> kept;
  for (const auto& value : ids) {
    if (kept.size() == maxCancelIds) break;
    const auto& id = value.get_ref<const std::string&>();
    if (isValidId(id)) kept.push_back(id);
  }
  if (kept.empty() || !services_.notifier.available()) return;
  services_.scheduler.cancel(kept);
  for (const auto& id : kept) services_.notifier.withdraw(id);
}

void NotifyBridge::opened(const std::string& id) {
  assert(services_.loop.isMainThread());
  if (onOpen_) onOpen_();
  reply({{"id", id}, {"opened", true}});
}

void NotifyBridge::reply(Json payload) {
  PageDelivery::post(services_.loop, webView_, std::string(pageBridge), std::move(payload), std::string(handlerName));
}

}  // namespace tovarin
