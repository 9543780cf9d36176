#include "main/bridges/OcrBridge.h"

#include <cassert>

#include "base/Log.h"
#include "base/Text.h"
#include "main/page/PageDelivery.h"

namespace tovarin {

void OcrBridge::handle(const Json& body) {
  assert(loop_.isMainThread());
  const auto requestId = body.is_object() ? jsonString(body, "requestId") : std::nullopt;
  if (!requestId || requestId->empty() || text::graphemeCount(*requestId) > maxRequestIdCharacters) {
    log("ocr: 收到形状不对的请求，忽略");
    return;
  }
  const auto image = jsonString(body, "imageBase64");
  if (!image || image->empty()) {
    reply({{"requestId", *requestId}, {"error", ocrFailureMessage(OcrFailure::decode)}});
    return;
  }
  service_.recognizeBase64(*image, [weak = weak_from_this(), id = *requestId](OcrResult result) {
    auto self = weak.lock();
    if (!self) return;
    if (result.ok()) {
      self->reply({{"requestId", id}, {"text", result.text}});
    } else {
      self->reply({{"requestId", id}, {"error", ocrFailureMessage(*result.failure)}});
    }
  });
}

// Every reply is made on the main loop (the service hands its results there), so it goes
// to the page from here.
void OcrBridge::reply(Json payload) {
  PageDelivery::deliverToPage(loop_, webView_.lock(), std::string(pageBridge), payload, std::string(handlerName),
                              PageDelivery::defaultRetries);
}

}  // namespace tovarin
