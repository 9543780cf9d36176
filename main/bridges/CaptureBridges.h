#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Calendar.h"
#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "main/bridges/DropBridge.h"
#include "main/bridges/NotifyBridge.h"
#include "main/bridges/OcrBridge.h"
#include "main/page/LocalServer.h"
#include "main/page/WebView.h"

namespace tovarin {

// The main window's page powers that act for the user: text recognition ("ocr"),
// reminders ("notify") and file drop. They serve only the local server's own pages: a
// message from a frame of another origin, or whose frame is unknown, is dropped with
// one log line, so that an embedded foreign page cannot schedule notifications or feed
// pictures in the user's name. Main loop only.
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
  // True when the message was one of ours (served or refused).
  bool handle(const ScriptMessage& message);
  // Whether a message of this name from this frame may be read at all; a refusal is
  // logged. Names that are not ours are admitted (their owners decide).
  bool admits(const std::string& name, const MessageSource& source);
  // After every finished navigation: the page may now have `__dropText`.
  void pageFinishedLoading() { drop_->adoptIfPageReady(); }

  DropBridge& drop() { return *drop_; }

 private:
  MainLoop& loop_;
  // Refusals are logged at most once a second per handler: a frame can post thousands.
  LogThrottle refusalLog_;
  ReminderScheduler& reminders_;
  const LocalServer server_;
  const std::shared_ptr<OcrBridge> ocr_;
  const std::shared_ptr<NotifyBridge> notify_;
  const std::shared_ptr<DropBridge> drop_;
};

}  // namespace tovarin
