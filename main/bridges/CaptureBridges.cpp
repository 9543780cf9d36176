#include "main/bridges/CaptureBridges.h"

namespace tovarin {

CaptureBridges::CaptureBridges(Services services, int64_t serverPort)
    : reminders_(services.reminders),
      ocr_(std::make_shared<OcrBridge>(services.loop, services.ocr, LocalServer(serverPort))),
      notify_(std::make_shared<NotifyBridge>(
          NotifyBridge::Services{services.loop, services.notifier, services.reminders, services.clock,
                                 services.makeCalendar},
          LocalServer(serverPort))),
      drop_(std::make_shared<DropBridge>(DropBridge::Services{services.loop, services.background, services.ocr,
                                                              std::move(services.millisecondsSince1970)})) {}

void CaptureBridges::attach(std::weak_ptr<WebView> webView, std::function<void()> onOpen) {
  ocr_->attach(webView);
  drop_->attach(webView);
  notify_->setOnOpen(std::move(onOpen));
  notify_->attach(std::move(webView));
  reminders_.start();
}

}  // namespace tovarin
