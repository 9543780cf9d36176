#pragma once

#include "base/WebSocketClient.h"

namespace tovarin {

// The WebSocket client over Boost.Beast on NetworkThread::shared(): one connection per
// open(), HTTP/1.1 upgrade, client frames masked as the protocol wants.
class BeastWebSocketClient final : public WebSocketClient {
 public:
  [[nodiscard]] std::unique_ptr<WebSocketConnection> open(WebSocketRequest request, TaskRunner& deliveryQueue,
                                                         WebSocketHandlers handlers) override;
};

}  // namespace tovarin
