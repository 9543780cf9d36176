#include "main/voice/RelayVoiceCloudSession.h"

#include <cassert>

#include "base/Json.h"
#include "base/Text.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceRelayProtocol.h"

namespace tovarin {
namespace {

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
      session->socket_.markOver();
      session->update_(VoiceCloudUpdate::Failed{std::string(VoiceErrorCode::signedOut), std::nullopt});
    });
  }
  return session;
}

void RelayVoiceCloudSession::connect(WebSocketRequest request, WebSocketClient& client) {
  request.maxMessageBytes = 65536;
  socket_.open(std::move(request), client, weak_from_this());
}

void RelayVoiceCloudSession::send(std::string pcm) {
  queue_.async([self = shared_from_this(), pcm = std::move(pcm)]() mutable { self->sendAudio(std::move(pcm)); });
}

void RelayVoiceCloudSession::finish() {
  queue_.async([self = shared_from_this()] { self->beginEnding(); });
}

void RelayVoiceCloudSession::cancel() {
  queue_.async([self = shared_from_this()] { self->socket_.stop(controlMessage(VoiceRelayProtocol::Client::cancel)); });
}

void RelayVoiceCloudSession::relayLost(std::string code) {
  assert(queue_.isCurrent());
  update_(VoiceCloudUpdate::Failed{std::move(code)});
}

void RelayVoiceCloudSession::relayMessage(const WebSocketMessage& message) {
  assert(queue_.isCurrent());
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
  socket_.markOver();
  update_(std::move(update));
  socket_.close();
}

void RelayVoiceCloudSession::sendAudio(std::string pcm) {
  if (!socket_.isOpen() || ending_) return;
  partialChunk_ += pcm;
  size_t offset = 0;
  while (partialChunk_.size() - offset >= VoiceRelayProtocol::chunkBytes) {
    deliver(partialChunk_.substr(offset, VoiceRelayProtocol::chunkBytes));
    offset += VoiceRelayProtocol::chunkBytes;
  }
  partialChunk_.erase(0, offset);
}

void RelayVoiceCloudSession::beginEnding() {
  if (!socket_.isOpen() || ending_) return;
  if (!partialChunk_.empty()) deliver(std::exchange(partialChunk_, {}));
  ending_ = true;
  sendEndIfDue();
}

void RelayVoiceCloudSession::deliver(std::string chunk) {
  if (ready_) {
    socket_.sendBinary(std::move(chunk));
    return;
  }
  // Before the relay is ready, at most 10 s of audio waits; the rest is dropped.
  if (waitingBytes_ + chunk.size() > maxWaitingBytes) return;
  waitingBytes_ += chunk.size();
  waiting_.push_back(std::move(chunk));
}

void RelayVoiceCloudSession::flushWaiting() {
  for (auto& chunk : waiting_) socket_.sendBinary(std::move(chunk));
  waiting_.clear();
  waitingBytes_ = 0;
}

void RelayVoiceCloudSession::sendEndIfDue() {
  if (!ready_ || !ending_ || endSent_) return;
  endSent_ = true;
  flushWaiting();
  socket_.sendText(controlMessage(VoiceRelayProtocol::Client::end));
}

}  // namespace tovarin
