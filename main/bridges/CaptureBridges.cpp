#include "main/bridges/CaptureBridges.h"

#include <cassert>

#include "base/Log.h"

namespace tovarin {

CaptureBridges::CaptureBridges(Services services, int64_t serverPort)
    : loop_(services.loop),
      reminders_(services.reminders),
      server_(serverPort),
      ocr_(std::make_shared<OcrBridge>(services.loop, services.ocr)),
      notify_(std::make_shared<NotifyBridge>(NotifyBridge::Services{
          services.loop, services.notifier, services.reminders, services.clock, services.makeCalendar})),
      drop_(std::make_shared<DropBridge>(DropBridge::Services{services.loop, services.background, services.ocr,
                                                              std::move(services.millisecondsSince1970)})) {}

void CaptureBridges::attach(std::weak_ptr<WebView> webView, std::function<void()> onOpen) {
  ocr_->attach(webView);
  drop_->attach(webView);
  notify_->setOnOpen(std::move(onOpen));
  notify_->attach(std::move(webView));
  reminders_.start();
}

bool CaptureBridges::handle(const ScriptMessage& message) {
  assert(loop_.isMainThread());
  const bool ocr = message.name == OcrBridge::handlerName;
  const bool notify = message.name == NotifyBridge::handlerName;
  if (!ocr && !notify) return false;
  if (!admits(message.name, message.source)) return true;
  if (ocr) {
    ocr_->handle(message.body);
  } else {
    notify_->handle(message.body);
  }
  return true;
}

bool CaptureBridges::admits(const std::string& name, const MessageSource& source) {
  if (name != OcrBridge::handlerName && name != NotifyBridge::handlerName) return true;
  if (server_.isOriginOf(source)) return true;
  if (refusalLog_.allows(name, loop_.now())) {
    log(name + ": message from a frame outside the local server dropped (" +
        (source.known ? source.securityOrigin : std::string("frame unknown")) + ")");
  }
  return false;
}

}  // namespace tovarin
