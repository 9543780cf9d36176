#include "main/voice/RelayVoiceSpeakSession.h"

#include <cassert>

#include "base/Json.h"
#include "base/Text.h"
#include "main/voice/SpeakStreamProtocol.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceSpeechSplit.h"

namespace tovarin {

RelayVoiceSpeakSession::RelayVoiceSpeakSession(Update update) : update_(std::move(update)) {}

std::shared_ptr<RelayVoiceSpeakSession> RelayVoiceSpeakSession::create(WebSocketRequest request, WebSocketClient& client,
                                                                      int64_t voice, double rate, Update update) {
  auto session = std::make_shared<RelayVoiceSpeakSession>(std::move(update));
  // Opened on the queue, so that no message can be handled before socket_ is set.
  session->queue_.sync([&] { session->connect(std::move(request), client, voice, rate); });
  return session;
}

void RelayVoiceSpeakSession::connect(WebSocketRequest request, WebSocketClient& client, int64_t voice, double rate) {
  request.maxMessageBytes = maxMessageBytes;
  socket_.open(std::move(request), client, weak_from_this());
  socket_.sendText(toJsonText(Json{{"type", SpeakStreamProtocol::Client::start}, {"voice", voice}, {"rate", rate}}));
}

void RelayVoiceSpeakSession::send(std::string text) {
  queue_.async([self = shared_from_this(), text = std::move(text)] {
    if (!self->socket_.isOpen()) return;
    if (text::trimWhitespace(text).empty()) return;
    for (auto& piece : VoiceSpeechSplit::split(text, SpeakStreamProtocol::maxTextChars)) {
      self->socket_.sendText(toJsonText(Json{{"type", SpeakStreamProtocol::Client::text}, {"text", std::move(piece)}}));
    }
  });
}

void RelayVoiceSpeakSession::end() {
  queue_.async([self = shared_from_this()] {
    if (!self->socket_.isOpen()) return;
    self->socket_.sendText(toJsonText(Json{{"type", SpeakStreamProtocol::Client::end}}));
  });
}

void RelayVoiceSpeakSession::stop() {
  queue_.async([self = shared_from_this()] {
    self->socket_.stop(toJsonText(Json{{"type", SpeakStreamProtocol::Client::stop}}));
  });
}

void RelayVoiceSpeakSession::relayLost(std::string code) {
  assert(queue_.isCurrent());
  update_(VoiceSpeakUpdate::Failed{std::move(code)});
}

void RelayVoiceSpeakSession::relayMessage(const WebSocketMessage& message) {
  assert(queue_.isCurrent());
  if (message.binary) return update_(VoiceSpeakUpdate::Audio{message.data});
  auto parsed = parseJson(message.data);
  if (!parsed || !parsed->is_object()) return;
  auto type = jsonString(*parsed, "type");
  if (!type) return;
  if (*type == SpeakStreamProtocol::Server::ready) {
    update_(VoiceSpeakUpdate::Ready{});
  } else if (*type == SpeakStreamProtocol::Server::done) {
    finishWith(VoiceSpeakUpdate::Done{jsonInteger(*parsed, "chars").value_or(0),
                                      jsonString(*parsed, "reason").value_or("final")});
  } else if (*type == SpeakStreamProtocol::Server::error) {
    // Unlike dictation, the relay's code is passed on as it is.
    finishWith(VoiceSpeakUpdate::Failed{jsonString(*parsed, "code").value_or(std::string(VoiceErrorCode::cloudFailed)),
                                        jsonString(*parsed, "message")});
  }
}

void RelayVoiceSpeakSession::finishWith(VoiceSpeakUpdate update) {
  socket_.markOver();
  update_(std::move(update));
  socket_.close();
}

}  // namespace tovarin
