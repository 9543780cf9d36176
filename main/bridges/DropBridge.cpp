#include "main/bridges/DropBridge.h"

#include <cassert>

#include "base/Log.h"
#include "main/bridges/DropProtocol.h"
#include "main/bridges/DropTextReader.h"
#include "main/page/PageDelivery.h"

namespace tovarin {
namespace {

std::string base36(uint64_t value) {
  constexpr std::string_view digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string out;
  do {
    out.insert(out.begin(), digits[value % 36]);
    value /= 36;
  } while (value > 0);
  return out;
}

}  // namespace

std::string DropBridge::readinessProbe() {
  const std::string object = "window." + std::string(DropProtocol::pageBridge);
  return "!!(" + object + " && " + object + ".deliver)";
}

void DropBridge::setHost(std::shared_ptr<DropHost> host) {
  assert(services_.loop.isMainThread());
  host_ = std::move(host);
  if (!host_) return;
  host_->setFilesHandler([weak = weak_from_this()](std::vector<std::string> paths) {
    if (auto self = weak.lock()) self->accept(paths);
  });
  if (adopted_) host_->takeFileDropsFromPage();
}

void DropBridge::adoptIfPageReady(int retries) {
  assert(services_.loop.isMainThread());
  auto webView = webView_.lock();
  if (adopted_ || !webView) return;
  webView->read(readinessProbe(), [weak = weak_from_this(), retries](ScriptValue value) {
    auto self = weak.lock();
    if (!self || self->adopted_ || self->webView_.expired()) return;
    if (value.isTrue()) {
      self->adopted_ = true;
      self->adoptRetry_.cancel();
      if (self->host_) self->host_->takeFileDropsFromPage();
      log("drop: 页面已装 " + std::string(DropProtocol::pageBridge) + "，整窗拖入由外壳接管");
    } else if (retries >= 1) {
      self->adoptRetry_ = self->services_.loop.postAfter(adoptRetryInterval, [weak, retries] {
        if (auto self = weak.lock()) self->adoptIfPageReady(retries - 1);
      });
    }
  });
}

void DropBridge::accept(const std::vector<std::string>& paths) {
  assert(services_.loop.isMainThread());
  for (const auto& path : paths) {
    const std::string requestId = nextRequestId();
    std::string filename = DropProtocol::fileName(path);
    switch (DropProtocol::kindOf(path)) {
      case DropProtocol::FileKind::image: acceptImage(requestId, path, std::move(filename)); break;
      case DropProtocol::FileKind::text: acceptText(requestId, path, std::move(filename)); break;
      case DropProtocol::FileKind::other: break;
    }
  }
}

std::string DropBridge::nextRequestId() {
  ++counter_;
  const int64_t now = services_.millisecondsSince1970();
  return "drop_" + base36(static_cast<uint64_t>(now < 0 ? 0 : now)) + "_" + base36(counter_);
}

void DropBridge::acceptImage(const std::string& requestId, const std::string& path, std::string filename) {
  services_.ocr.recognizeFile(path, [weak = weak_from_this(), requestId, filename = std::move(filename)](OcrResult result) {
    auto self = weak.lock();
    if (!self) return;
    Json payload{{"requestId", requestId}, {"filename", filename}};
    if (result.ok()) {
      payload["text"] = result.text;
    } else {
      payload["error"] = ocrFailureMessage(*result.failure);
    }
    self->deliver(std::move(payload));
  });
}

void DropBridge::acceptText(const std::string& requestId, const std::string& path, std::string filename) {
  MainLoop& loop = services_.loop;
  services_.background.post([&loop, weak = weak_from_this(), requestId, path, filename = std::move(filename)] {
    DropTextResult result = DropTextReader::read(path);
    // Back on the main loop before the bridge is locked, so this thread never ends it.
    loop.post([weak, requestId, filename, result = std::move(result)] {
      auto self = weak.lock();
      if (!self) return;
      Json payload{{"requestId", requestId}, {"filename", filename}};
      if (result.failure) {
        payload["error"] = *result.failure;
      } else {
        payload["text"] = result.text;
      }
      self->deliver(std::move(payload));
    });
  });
}

// Results are made on the main loop (recognition hands them there, file text is posted
// back), so they go to the page from here.
void DropBridge::deliver(Json payload) {
  assert(services_.loop.isMainThread());
  PageDelivery::deliverToPage(services_.loop, webView_.lock(), std::string(DropProtocol::pageBridge), payload, "drop",
                              PageDelivery::defaultRetries);
}

}  // namespace tovarin
