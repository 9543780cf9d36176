#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Calendar.h"
#include "base/MainLoop.h"
#include "main/bridges/DropBridge.h"
#include "main/bridges/NotifyBridge.h"
#include "main/bridges/OcrBridge.h"
#include "main/page/WebView.h"

namespace tovarin {

// The main window's page powers that act for the user: text recognition ("ocr"),
// reminders ("notify") and file drop, made and attached together. The two message
// bridges serve only the local server's own pages: a message from a frame of another
// origin, or whose frame is unknown, is dropped with one log line, so that an embedded
// foreign page cannot schedule notifications or feed pictures in the user's name.
// Main loop only.
class CaptureBridges final {
 public:
  struct Services {
    MainLoop& loop;
    TaskRunner& background;
    OcrService& ocr;
    SystemNotifier& notifier;
    ReminderScheduler& reminders;
    WallClockAlarm& clock;
    std::function<Calendar()> makeCalendar;
    std::function<int64_t()> millisecondsSince1970;
  };

  CaptureBridges(Services services, int64_t serverPort);

  // The page's web view; `onOpen` shows the window when a notification is clicked.
  // Starts the reminders kept from earlier runs.
  void attach(std::weak_ptr<WebView> webView, std::function<void()> onOpen);
  void setDropHost(std::shared_ptr<DropHost> host) { drop_->setHost(std::move(host)); }
  // After every finished navigation: the page may now have `__dropText`.
  void pageFinishedLoading() { drop_->adoptIfPageReady(); }

  const std::shared_ptr<OcrBridge>& ocr() const { return ocr_; }
  const std::shared_ptr<NotifyBridge>& notify() const { return notify_; }
  DropBridge& drop() { return *drop_; }

 private:
  ReminderScheduler& reminders_;
  const std::shared_ptr<OcrBridge> ocr_;
  const std::shared_ptr<NotifyBridge> notify_;
  const std::shared_ptr<DropBridge> drop_;
};

}  // namespace tovarin
