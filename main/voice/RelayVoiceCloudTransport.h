#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/HttpClient.h"
#include "base/SerialQueue.h"
#include "base/WebSocketClient.h"
#include "main/voice/VoiceCloudTransport.h"

namespace tovarin {

// Where the relay is and which headers to add; none while no account is signed in.
struct VoiceCloudTarget {
  std::string base;  // "http://127.0.0.1:4173"
  HttpHeaders headers;
};

// The voice relay of the local server, over our HTTP and WebSocket clients: plain
// loopback, no proxy, no cookies, no cache. Status and synthesis completions run on the
// transport's callback queue, or at once on the caller's thread when there is no target.
class RelayVoiceCloudTransport final : public VoiceCloudTransport,
                                       public std::enable_shared_from_this<RelayVoiceCloudTransport> {
 public:
  struct Routes {
    std::string socket;
    std::string status;
    std::string tts;
    std::string speak;
    static Routes localServer();
    bool operator==(const Routes&) const = default;
  };
  using Target = std::function<std::optional<VoiceCloudTarget>()>;
  using QueryItems = std::vector<std::pair<std::string, std::string>>;
  // Makes the streamed-speech session for a speak socket request; by default the
  // relay's own RelayVoiceSpeakSession.
  using SpeakSessionFactory = std::function<std::shared_ptr<VoiceSpeakSession>(
      WebSocketRequest request, int64_t voice, double rate, std::function<void(VoiceSpeakUpdate)> update)>;

  static constexpr double requestTimeoutSeconds = 25;
  static constexpr double socketTimeoutSeconds = 60;

  RelayVoiceCloudTransport(Routes routes, HttpClient& http, WebSocketClient& sockets, Target target,
                           SpeakSessionFactory speakSessions = {});

  std::optional<VoiceCloudStatus> status() const override;
  void refreshStatus(StatusCompletion completion) override;
  [[nodiscard]] std::shared_ptr<VoiceCloudSession> open(const std::string& locale,
                                                       std::function<void(VoiceCloudUpdate)> update) override;
  [[nodiscard]] std::shared_ptr<VoiceCloudCancellable> synthesize(const std::string& text, double rate,
                                                                 const std::string& locale,
                                                                 SynthesisCompletion completion) override;
  [[nodiscard]] std::shared_ptr<VoiceSpeakSession> openSpeak(int64_t voice, double rate,
                                                             std::function<void(VoiceSpeakUpdate)> update) override;

  // English locales ask the relay for English; every other locale leaves the relay's default.
  static QueryItems languageQuery(std::string_view locale);
  // The URL of a route under the base: the route's path pieces appended, the scheme made
  // ws/wss for a socket, the query added. Nothing when the base is no URL.
  static std::optional<std::string> routeUrl(std::string_view base, std::string_view route, bool socket,
                                             const QueryItems& query);
  // What a synthesis answer means; nothing for an answer that must not be reported.
  static VoiceSynthesisResult synthesisResult(const HttpResponse& response);

 private:
  std::optional<WebSocketRequest> socketRequest(std::string_view route, const QueryItems& query) const;
  void store(const VoiceCloudStatus& status);

  const Routes routes_;
  HttpClient& http_;
  WebSocketClient& sockets_;
  const Target target_;
  const SpeakSessionFactory speakSessions_;
  // Shared with requests in flight, so that their completions have a queue to run on
  // even when the transport is gone.
  const std::shared_ptr<SerialQueue> callbacks_;
  mutable std::mutex mutex_;
  std::optional<VoiceCloudStatus> cached_;  // mutex_
};

}  // namespace tovarin
