#include "main/voice/VoiceEngineEvent.h"

#include "main/voice/VoiceProtocol.h"

namespace tovarin {
namespace {

Json base(std::string_view type, const std::string& id) {
  return Json{{"type", type}, {"id", id}, {"protocol", VoiceProtocol::version}};
}

struct PayloadOf {
  Json operator()(const VoiceEngineEvent::Listening& event) const {
    Json payload = base(VoiceProtocol::Event::state, event.id);
    payload["state"] = "listening";
    payload["onDevice"] = event.onDevice;
    payload["reason"] = event.reason;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::Partial& event) const {
    Json payload = base(VoiceProtocol::Event::partial, event.id);
    payload["text"] = event.text;
    payload["onDevice"] = event.onDevice;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::Finished& event) const {
    Json payload = base(VoiceProtocol::Event::finalText, event.id);
    payload["text"] = event.text;
    payload["onDevice"] = event.onDevice;
    payload["reason"] = event.reason;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::Failed& event) const {
    Json payload = base(VoiceProtocol::Event::error, event.id);
    payload["code"] = event.code;
    if (event.message) payload["message"] = *event.message;
    if (event.reason) payload["reason"] = *event.reason;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::SpeakStarted& event) const {
    return base(VoiceProtocol::Event::speakStart, event.id);
  }
  Json operator()(const VoiceEngineEvent::SpeakEnded& event) const {
    Json payload = base(VoiceProtocol::Event::speakEnd, event.id);
    payload["cancelled"] = event.cancelled;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::SpeakFailed& event) const {
    Json payload = base(VoiceProtocol::Event::speakError, event.id);
    payload["code"] = event.code;
    payload["message"] = event.message;
    return payload;
  }
  Json operator()(const VoiceEngineEvent::SpeakStreamFailed& event) const {
    Json payload = base(VoiceProtocol::Event::speakError, event.id);
    payload["code"] = event.code;
    payload["message"] = event.message;
    payload["started"] = event.started;
    return payload;
  }
};

}  // namespace

const std::string& VoiceEngineEvent::id() const {
  return std::visit([](const auto& event) -> const std::string& { return event.id; }, value);
}

Json VoiceEngineEvent::pagePayload() const { return std::visit(PayloadOf{}, value); }

}  // namespace tovarin
