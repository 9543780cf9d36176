#include "main/voice/VoiceBridge.h"

#include "base/Json.h"
#include "base/Log.h"
#include "base/Text.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceProtocol.h"

namespace tovarin {
namespace {

namespace Request = VoiceProtocol::Request;

std::optional<std::string> usableTarget(const Json& body) {
  auto target = jsonString(body, "target");
  if (target && text::graphemeCount(*target) > VoiceBridge::maxIdCharacters) return std::nullopt;
  return target;
}

}  // namespace

void VoiceBridge::configureCloud(VoiceEngine& engine, int port, const UserDefaults& defaults,
                                 const TransportFactory& makeTransport) {
  engine.setOnDeviceOnly(defaults.boolean(onDeviceOnlyKey));
  if (port <= 0 || port > 65535) return;
  auto transport = makeTransport(LocalServer(port).origin());
  if (!transport) return;
  engine.setCloud(std::move(transport));
  engine.refreshCloud([] {});
}

std::shared_ptr<VoiceBridge> VoiceBridge::create(MainLoop& loop, std::shared_ptr<VoiceEngine> engine,
                                                 UserDefaults* defaults, std::string label, LocalServer server) {
  return std::make_shared<VoiceBridge>(loop, std::move(engine), defaults, std::move(label), std::move(server));
}

VoiceBridge::VoiceBridge(MainLoop& loop, std::shared_ptr<VoiceEngine> engine, UserDefaults* defaults,
                         std::string label, LocalServer server)
    : loop_(loop),
      engine_(std::move(engine)),
      defaults_(defaults),
      label_(std::move(label)),
      server_(std::move(server)) {}

bool VoiceBridge::admits(const MessageSource& source) {
  if (server_.isOriginOf(source)) return true;
  if (refusalLog_.allows("frame", loop_.now())) log("voice[" + label_ + "]: 不是本地页面的框架发来的请求，忽略");
  return false;
}

void VoiceBridge::handle(const ScriptMessage& message) {
  const Json& body = message.body;
  const auto type = body.is_object() ? jsonString(body, "type") : std::nullopt;
  const auto id = body.is_object() ? jsonString(body, "id") : std::nullopt;
  if (!type || !id || text::graphemeCount(*id) > maxIdCharacters) {
    if (refusalLog_.allows("shape", loop_.now())) log("voice: 收到形状不对的请求，忽略");
    return;
  }
  if (const auto protocol = jsonInteger(body, "protocol"); protocol && *protocol != VoiceProtocol::version) {
    emit(Json{{"type", VoiceProtocol::Event::error},
              {"id", *id},
              {"code", VoiceErrorCode::protocolMismatch},
              {"message", "页面与外壳的语音协议版本不一致（页面 " + std::to_string(*protocol) + "，外壳 " +
                              std::to_string(VoiceProtocol::version) + "）。"}});
    return;
  }
  dispatch(*type, *id, body);
}

void VoiceBridge::dispatch(const std::string& type, const std::string& id, const Json& body) {
  if (type == Request::capabilities) {
    answerCapabilities(id, body);
  } else if (type == Request::preferences) {
    if (const auto onDeviceOnly = jsonBool(body, "onDeviceOnly")) {
      if (defaults_) defaults_->setBoolean(onDeviceOnlyKey, *onDeviceOnly);
      engine_->setOnDeviceOnly(*onDeviceOnly);
    }
    answerCapabilities(id, body);
  } else if (type == Request::voices) {
    emit(Json{{"type", VoiceProtocol::Event::voicesResult}, {"id", id}, {"voices", engine_->voiceList()}});
  } else if (type == Request::listenStart) {
    engine_->startListening(id, jsonString(body, "locale").value_or("zh-CN"), self(),
                            jsonBool(body, "hold").value_or(false));
  } else if (type == Request::listenStop) {
    engine_->stopListening(true, jsonString(body, "target"));
  } else if (type == Request::listenCancel) {
    engine_->abandon(self(), "cancelled", true, jsonString(body, "target"));
  } else if (type == Request::speak) {
    engine_->speak(id, jsonString(body, "text").value_or(""), jsonString(body, "locale").value_or("zh-CN"),
                   jsonString(body, "voice"), jsonNumber(body, "rate").value_or(1.0), self());
  } else if (type == Request::speakStop) {
    engine_->stopSpeaking();
  } else if (type == Request::speakStreamStart) {
    if (const auto target = usableTarget(body)) {
      engine_->startSpeakStream(*target, jsonInteger(body, "voice"), jsonNumber(body, "rate").value_or(1.0), self());
    }
  } else if (type == Request::speakStreamText) {
    const auto target = jsonString(body, "target");
    const auto text = jsonString(body, "text");
    if (target && text) engine_->speakStreamText(*target, *text);
  } else if (type == Request::speakStreamEnd) {
    if (const auto target = jsonString(body, "target")) engine_->endSpeakStream(*target);
  } else if (type == Request::speakStreamStop) {
    if (const auto target = jsonString(body, "target")) engine_->stopSpeakStream(*target);
  } else {
    if (refusalLog_.allows("type", loop_.now())) log("voice: 不认识的请求 " + type);
  }
}

void VoiceBridge::answerCapabilities(const std::string& id, const Json& body) {
  auto answered = std::make_shared<bool>(false);
  const auto locale = jsonString(body, "locale");
  auto tryAnswer = [weak = weak_from_this(), answered, id, locale] {
    if (*answered) return;
    *answered = true;
    auto self = weak.lock();
    if (!self) return;
    Json answer = self->engine_->capabilities(locale).pagePayload();
    answer["type"] = VoiceProtocol::Event::ready;
    answer["id"] = id;
    self->emit(std::move(answer));
  };
  engine_->refreshCloud(tryAnswer);
  const uint64_t wait = nextCapabilityWait_++;
  capabilityWaits_[wait] = loop_.postAfter(statusWait, [weak = weak_from_this(), wait, tryAnswer] {
    tryAnswer();
    if (auto self = weak.lock()) self->capabilityWaits_.erase(wait);
  });
}

void VoiceBridge::release(const std::string& reason) { engine_->abandon(self(), reason, true); }

void VoiceBridge::systemWantsSilence() { engine_->abandon(self(), "app-inactive", false); }

void VoiceBridge::voiceEngine(const VoiceEngineEvent& event) { emit(event.pagePayload()); }

void VoiceBridge::emit(Json payload, int retries) {
  PageDelivery::offer(loop_,
                      {.attempt =
                           [&loop = loop_, weak = weak_from_this(), arguments = Json{{"payload", std::move(payload)}}](
                               std::function<void(ScriptValue)> answered) {
                             // Every attempt goes through the loop, so that events leave in the order
                             // they were emitted.
                             loop.post([weak, arguments, answered = std::move(answered)]() mutable {
                               if (auto self = weak.lock()) self->offerToPage(arguments, std::move(answered));
                             });
                           },
                       .acknowledged = PageDelivery::answeredTrue,
                       .onGivenUp = [line = "voice[" + label_ + "]: 事件送不出去，页面一直没就绪"] { log(line); }},
                      retries);
}

void VoiceBridge::offerToPage(const Json& arguments, std::function<void(ScriptValue)> answered) {
  auto webView = webView_.lock();
  if (!webView) return;
  webView->callAsync(emitScript, arguments, [weak = weak_from_this(), answered = std::move(answered)](ScriptValue result) {
    if (weak.lock()) answered(std::move(result));
  });
}

}  // namespace tovarin
