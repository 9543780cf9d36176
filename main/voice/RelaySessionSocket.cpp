#include "main/voice/RelaySessionSocket.h"

#include <cassert>

#include "main/voice/VoiceErrorCode.h"

namespace tovarin {
namespace {

constexpr uint16_t kNormalClosure = 1000;

}  // namespace

void RelaySessionSocket::open(WebSocketRequest request, WebSocketClient& client, std::weak_ptr<Listener> listener) {
  // `this` lives as long as the listener that holds it, which every event locks first.
  socket_ = client.open(std::move(request), queue_,
                        {.onOpen = {},
                         .onMessage =
                             [this, listener](WebSocketMessage message) {
                               if (auto locked = listener.lock()) onMessage(*locked, message);
                             },
                         .onEnd =
                             [this, listener](WebSocketEnd end) {
                               if (auto locked = listener.lock()) onEnd(*locked, end);
                             }});
}

void RelaySessionSocket::close() {
  over_ = true;
  if (socket_) socket_->close(kNormalClosure);
}

void RelaySessionSocket::stop(std::string lastMessage) {
  if (over_) return;
  over_ = true;
  if (!socket_) return;
  socket_->sendText(std::move(lastMessage));
  socket_->close(kNormalClosure);
}

std::string RelaySessionSocket::failureCode(int httpStatus) {
  if (httpStatus == 401) return std::string(VoiceErrorCode::signedOut);
  if (httpStatus == 429) return std::string(VoiceErrorCode::cloudBusy);
  if (httpStatus == 404) return std::string(VoiceErrorCode::cloudUnconfigured);
  if (httpStatus >= 400 && httpStatus <= 499) return std::string(VoiceErrorCode::badRequest);
  if (httpStatus >= 500) return std::string(VoiceErrorCode::cloudUnavailable);
  return std::string(VoiceErrorCode::network);
}

void RelaySessionSocket::onMessage(Listener& listener, const WebSocketMessage& message) {
  assert(queue_.isCurrent());
  if (over_) return;
  listener.relayMessage(message);
}

void RelaySessionSocket::onEnd(Listener& listener, const WebSocketEnd& end) {
  assert(queue_.isCurrent());
  if (over_) return;
  over_ = true;
  listener.relayLost(failureCode(end.httpStatus));
}

}  // namespace tovarin
