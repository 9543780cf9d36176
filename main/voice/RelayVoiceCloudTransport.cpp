#include "main/voice/RelayVoiceCloudTransport.h"

#include <cctype>

#include "base/Base64.h"
#include "base/Json.h"
#include "base/Text.h"
#include "main/voice/RelayVoiceCloudSession.h"
#include "main/voice/RelayVoiceSpeakSession.h"
#include "main/voice/SpeakStreamProtocol.h"
#include "main/voice/VoiceCloudTaskHandle.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceRelayProtocol.h"

namespace tovarin {
namespace {

VoiceSynthesisResult failure(std::string_view code) { return {{}, VoiceFailure(std::string(code))}; }

std::string percentEncoded(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 0xF]};
    }
  }
  return out;
}

}  // namespace

RelayVoiceCloudTransport::Routes RelayVoiceCloudTransport::Routes::localServer() {
  return {std::string(VoiceRelayProtocol::socketPath), std::string(VoiceRelayProtocol::statusPath),
          std::string(VoiceRelayProtocol::ttsPath), std::string(SpeakStreamProtocol::socketPath)};
}

RelayVoiceCloudTransport::RelayVoiceCloudTransport(Routes routes, HttpClient& http, WebSocketClient& sockets,
                                                   Target target, SpeakSessionFactory speakSessions)
    : routes_(std::move(routes)),
      http_(http),
      sockets_(sockets),
      target_(std::move(target)),
      speakSessions_(std::move(speakSessions)),
      callbacks_(std::make_shared<SerialQueue>("cn.orvik.tovarin.voice.relay")) {}

std::optional<VoiceCloudStatus> RelayVoiceCloudTransport::status() const {
  std::lock_guard lock(mutex_);
  return cached_;
}

void RelayVoiceCloudTransport::store(const VoiceCloudStatus& status) {
  std::lock_guard lock(mutex_);
  cached_ = status;
}

RelayVoiceCloudTransport::QueryItems RelayVoiceCloudTransport::languageQuery(std::string_view locale) {
  if (text::lowercased(locale).starts_with("en")) return {{std::string(VoiceRelayProtocol::langQuery), "en"}};
  return {};
}

std::optional<std::string> RelayVoiceCloudTransport::routeUrl(std::string_view base, std::string_view route,
                                                              bool socket, const QueryItems& query) {
  const size_t schemeEnd = base.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
  std::string url(base.substr(0, base.find_first_of("?#")));
  while (url.ends_with('/') && url.size() > schemeEnd + 3) url.pop_back();
  size_t start = 0;
  while (start <= route.size()) {
    const size_t end = std::min(route.find('/', start), route.size());
    if (end > start) url += "/" + std::string(route.substr(start, end - start));
    start = end + 1;
  }
  if (socket) {
    const bool secure = text::lowercased(base.substr(0, schemeEnd)) == "https";
    url.replace(0, schemeEnd, secure ? "wss" : "ws");
  }
  for (size_t i = 0; i < query.size(); ++i) {
    url += (i == 0 ? "?" : "&") + percentEncoded(query[i].first) + "=" + percentEncoded(query[i].second);
  }
  return url;
}

std::optional<WebSocketRequest> RelayVoiceCloudTransport::socketRequest(std::string_view route,
                                                                        const QueryItems& query) const {
  auto target = target_ ? target_() : std::nullopt;
  if (!target) return std::nullopt;
  auto url = routeUrl(target->base, route, true, query);
  if (!url) return std::nullopt;
  return WebSocketRequest{.url = std::move(*url), .headers = target->headers,
                          .handshakeTimeoutSeconds = socketTimeoutSeconds};
}

void RelayVoiceCloudTransport::refreshStatus(StatusCompletion completion) {
  auto target = target_ ? target_() : std::nullopt;
  auto url = target ? routeUrl(target->base, routes_.status, false, {}) : std::nullopt;
  if (!url) {
    store(VoiceCloudStatus::signedOut);
    completion(VoiceCloudStatus::signedOut);
    return;
  }
  HttpRequest request{.method = "GET", .url = std::move(*url), .headers = target->headers, .body = {},
                      .timeoutSeconds = requestTimeoutSeconds};
  http_.send(std::move(request), *callbacks_,
             [weak = weak_from_this(), queue = callbacks_, completion = std::move(completion)](HttpResponse response) {
               auto self = weak.lock();
               if (!self) return completion(std::nullopt);
               std::optional<VoiceCloudStatus> fresh;
               if (response.responded && response.status == 404) fresh = VoiceCloudStatus::unconfigured;
               if (response.responded && response.status == 401) fresh = VoiceCloudStatus::signedOut;
               if (response.responded && response.status == 200 && !response.body.empty()) {
                 fresh = VoiceCloudStatus::parse(response.body);
               }
               if (fresh) self->store(*fresh);
               completion(self->status());
             });
}

std::shared_ptr<VoiceCloudSession> RelayVoiceCloudTransport::open(const std::string& locale,
                                                                 std::function<void(VoiceCloudUpdate)> update) {
  return RelayVoiceCloudSession::create(socketRequest(routes_.socket, languageQuery(locale)), sockets_,
                                        std::move(update));
}

std::shared_ptr<VoiceSpeakSession> RelayVoiceCloudTransport::openSpeak(int64_t voice, double rate,
                                                                       std::function<void(VoiceSpeakUpdate)> update) {
  auto request = socketRequest(routes_.speak, {});
  if (!request) return nullptr;
  if (speakSessions_) return speakSessions_(std::move(*request), voice, rate, std::move(update));
  return RelayVoiceSpeakSession::create(std::move(*request), sockets_, voice, rate, std::move(update));
}

std::shared_ptr<VoiceCloudCancellable> RelayVoiceCloudTransport::synthesize(const std::string& text, double rate,
                                                                           const std::string& locale,
                                                                           SynthesisCompletion completion) {
  auto handle = std::make_shared<VoiceCloudTaskHandle>();
  auto target = target_ ? target_() : std::nullopt;
  auto url = target ? routeUrl(target->base, routes_.tts, false, {}) : std::nullopt;
  if (!url) {
    completion(failure(VoiceErrorCode::signedOut));
    return handle;
  }
  HttpRequest request{.method = "POST", .url = std::move(*url), .headers = target->headers,
                      .body = toJsonText(Json{{"text", text}, {"rate", rate}, {"locale", locale}}),
                      .timeoutSeconds = requestTimeoutSeconds};
  request.headers.emplace_back("Content-Type", "application/json");
  http_.send(std::move(request), *callbacks_,
             [handle, queue = callbacks_, completion = std::move(completion)](HttpResponse response) {
               if (handle->isCancelled()) return;
               completion(synthesisResult(response));
             });
  return handle;
}

VoiceSynthesisResult RelayVoiceCloudTransport::synthesisResult(const HttpResponse& response) {
  if (!response.responded || response.status == 0 || response.body.empty()) return failure(VoiceErrorCode::network);
  auto body = parseJson(response.body);
  const Json answer = body && body->is_object() ? *body : Json::object();
  if (response.status == 404) return failure(VoiceErrorCode::cloudUnconfigured);
  if (response.status == 401) return failure(VoiceErrorCode::signedOut);
  if (response.status == 200) {
    auto audio = jsonString(answer, "audio");
    auto bytes = audio ? Base64::decode(*audio) : std::nullopt;
    if (bytes && !bytes->empty()) return {std::move(*bytes), std::nullopt};
  }
  return failure(jsonString(answer, "code").value_or(std::string(VoiceErrorCode::cloudFailed)));
}

}  // namespace tovarin
