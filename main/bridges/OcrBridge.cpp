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

void OcrBridge::reply(Json payload) {
  PageDelivery::post(loop_, webView_, std::string(pageBridge), std::move(payload), std::string(handlerName));
}

}  // namespace tovarin
