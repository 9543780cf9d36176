#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "base/Calendar.h"
#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/bridges/LocalOriginAdmission.h"
#include "main/bridges/ReminderScheduler.h"
#include "main/bridges/SystemNotifier.h"
#include "main/bridges/WallClockAlarm.h"
#include "main/page/PageBridge.h"
#include "main/page/WebView.h"

namespace tovarin {

// The page's "notify" handler: schedules a reminder for a local minute (or shows it at
// once), cancels pending ones, and tells the page {"id", "opened": true} when the user
// clicks one. Replies go through `window.__notify`. Only frames of the local server may
// ask. Main loop only.
class NotifyBridge final : public PageBridge, public std::enable_shared_from_this<NotifyBridge> {
 public:
  static constexpr std::string_view handlerName = "notify";
  static constexpr std::string_view pageBridge = "__notify";
  static constexpr size_t maxIdCharacters = 128;
  static constexpr size_t maxTitle = 120;
  static constexpr size_t maxBody = 600;
  static constexpr size_t maxCancelIds = 256;
  static constexpr std::string_view defaultTitle = "岚笺";

  struct Services {
    MainLoop& loop;
    SystemNotifier& notifier;
    ReminderScheduler& scheduler;
    WallClockAlarm& clock;
    // The user's zone, in which "fireAt" is read: made on the first reminder, since
    // the zone data costs the launch memory it does not need.
    std::function<Calendar()> makeCalendar;
  };

  NotifyBridge(Services services, LocalServer server)
      : services_(std::move(services)), admission_(services_.loop, std::move(server)) {}

  // Remembers the page and takes the clicks on our notifications.
  void attach(std::weak_ptr<WebView> webView);
  void handle(const Json& body);

  // PageBridge
  std::string_view messageName() const override { return handlerName; }
  bool admits(const MessageSource& source) override { return admission_.admits(std::string(handlerName), source); }
  void handle(const ScriptMessage& message) override { handle(message.body); }
  // Called when the user clicked a notification, before the page hears of it; the main
  // window shows itself here.
  void setOnOpen(std::function<void()> onOpen) { onOpen_ = std::move(onOpen); }

 private:
  void place(const Reminder& reminder, bool later);
  void cancel(const Json& ids);
  void opened(const std::string& id);
  void reply(Json payload);

  const Calendar& calendar();

  Services services_;
  LocalOriginAdmission admission_;
  std::optional<Calendar> calendar_;
  std::weak_ptr<WebView> webView_;
  std::function<void()> onOpen_;
};

}  // namespace tovarin
