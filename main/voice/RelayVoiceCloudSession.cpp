#include "main/voice/RelayVoiceCloudSession.h"

#include <cassert>

#include "base/Json.h"
#include "base/Text.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceRelayProtocol.h"

namespace tovarin {
namespace {

constexpr uint16_t kNormalClosure = 1000;

std::string controlMessage(std::string_view type) { return toJsonText(Json{{"type", type}}); }

}  // namespace

RelayVoiceCloudSession::RelayVoiceCloudSession(Update update) : update_(std::move(update)) {}

std::shared_ptr<RelayVoiceCloudSession> RelayVoiceCloudSession::create(std::optional<WebSocketRequest> request,
                                                                      WebSocketClient& client, Update update) {
  auto session = std::make_shared<RelayVoiceCloudSession>(std::move(update));
  if (request) {
    // Opened on the queue, so that no message can be handled before socket_ is set.
    session->queue_.sync([&] { session->connect(std::move(*request), client); });
  } else {
    session->queue_.async([session] {
      session->closed_ = true;
      session->update_(VoiceCloudUpdate::Failed{std::string(VoiceErrorCode::signedOut), std::nullopt});
    });
  }
  return session;
}

void RelayVoiceCloudSession::connect(WebSocketRequest request, WebSocketClient& client) {
  request.maxMessageBytes = 65536;
  // The socket lives only while the session does: a dropped session stops receiving.
  auto weak = weak_from_this();
  socket_ = client.open(std::move(request), queue_,
                        {.onOpen = {},
                         .onMessage =
                             [weak](WebSocketMessage message) {
                               if (auto self = weak.lock()) self->onMessage(message);
                             },
                         .onEnd =
                             [weak](WebSocketEnd end) {
                               if (auto self = weak.lock()) self->onEnd(end);
                             }});
}

std::string RelayVoiceCloudSession::failureCode(int httpStatus) {
  if (httpStatus == 401) return std::string(VoiceErrorCode::signedOut);
  if (httpStatus == 429) return std::string(VoiceErrorCode::cloudBusy);
  if (httpStatus == 404) return std::string(VoiceErrorCode::cloudUnconfigured);
  if (httpStatus >= 400 && httpStatus <= 499) return std::string(VoiceErrorCode::badRequest);
  if (httpStatus >= 500) return std::string(VoiceErrorCode::cloudUnavailable);
  return std::string(VoiceErrorCode::network);
}

void RelayVoiceCloudSession::send(std::string pcm) {
  queue_.async([self = shared_from_this(), pcm = std::move(pcm)]() mutable { self->sendAudio(std::move(pcm)); });
}

void RelayVoiceCloudSession::finish() {
  queue_.async([self = shared_from_this()] { self->beginEnding(); });
}

void RelayVoiceCloudSession::cancel() {
  queue_.async([self = shared_from_this()] {
    if (self->closed_) return;
    self->closed_ = true;
    if (!self->socket_) return;
    self->socket_->sendText(controlMessage(VoiceRelayProtocol::Client::cancel));
    self->socket_->close(kNormalClosure);
  });
}

void RelayVoiceCloudSession::onEnd(const WebSocketEnd& end) {
  assert(queue_.isCurrent());
  if (closed_) return;
  closed_ = true;
  update_(VoiceCloudUpdate::Failed{failureCode(end.httpStatus), std::nullopt});
}

void RelayVoiceCloudSession::onMessage(const WebSocketMessage& message) {
  assert(queue_.isCurrent());
  if (closed_) return;
  // A relay may put its JSON in binary frames; broken UTF-8 is repaired, not refused.
  handle(message.binary ? text::filterScalars(message.data, [](char32_t) { return true; }) : message.data);
}

void RelayVoiceCloudSession::handle(const std::string& text) {
  auto message = parseJson(text);
  if (!message || !message->is_object()) return;
  auto type = jsonString(*message, "type");
  if (!type) return;
  if (*type == VoiceRelayProtocol::Server::ready) {
    ready_ = true;
    flushWaiting();
    sendEndIfDue();
    update_(VoiceCloudUpdate::Ready{});
  } else if (*type == VoiceRelayProtocol::Server::partial) {
    update_(VoiceCloudUpdate::Partial{jsonString(*message, "text").value_or("")});
  } else if (*type == VoiceRelayProtocol::Server::finalText) {
    finishWith(VoiceCloudUpdate::Final{jsonString(*message, "text").value_or(""),
                                       jsonString(*message, "reason").value_or("final")});
  } else if (*type == VoiceRelayProtocol::Server::error) {
    std::string code = jsonString(*message, "code").value_or("");
    if (!VoiceRelayProtocol::isRelayError(code)) code = std::string(VoiceErrorCode::cloudFailed);
    finishWith(VoiceCloudUpdate::Failed{std::move(code), jsonString(*message, "message")});
  }
}

void RelayVoiceCloudSession::finishWith(VoiceCloudUpdate update) {
  closed_ = true;
  update_(std::move(update));
  if (socket_) socket_->close(kNormalClosure);
}

void RelayVoiceCloudSession::sendAudio(std::string pcm) {
  if (closed_ || ending_ || !socket_) return;
  partialChunk_ += pcm;
  size_t offset = 0;
  while (partialChunk_.size() - offset >= VoiceRelayProtocol::chunkBytes) {
    deliver(partialChunk_.substr(offset, VoiceRelayProtocol::chunkBytes));
    offset += VoiceRelayProtocol::chunkBytes;
  }
  partialChunk_.erase(0, offset);
}

void RelayVoiceCloudSession::beginEnding() {
  if (closed_ || ending_ || !socket_) return;
  if (!partialChunk_.empty()) deliver(std::exchange(partialChunk_, {}));
  ending_ = true;
  sendEndIfDue();
}

void RelayVoiceCloudSession::deliver(std::string chunk) {
  if (ready_) {
    socket_->sendBinary(std::move(chunk));
    return;
  }
  // Before the relay is ready, at most 10 s of audio waits; the rest is dropped.
  if (waitingBytes_ + chunk.size() > maxWaitingBytes) return;
  waitingBytes_ += chunk.size();
  waiting_.push_back(std::move(chunk));
}

void RelayVoiceCloudSession::flushWaiting() {
  for (auto& chunk : waiting_) socket_->sendBinary(std::move(chunk));
  waiting_.clear();
  waitingBytes_ = 0;
}

void RelayVoiceCloudSession::sendEndIfDue() {
  if (!ready_ || !ending_ || endSent_) return;
  endSent_ = true;
  flushWaiting();
  socket_->sendText(controlMessage(VoiceRelayProtocol::Client::end));
}

}  // namespace tovarin
