#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/Json.h"
#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "base/UserDefaults.h"
#include "main/page/LocalServer.h"
#include "main/page/PageBridge.h"
#include "main/page/PageDelivery.h"
#include "main/page/WebView.h"
#include "main/voice/VoiceEngine.h"

namespace tovarin {

// Joins one window's page to the shared voice engine: checks each "voice" message,
// turns it into one engine call, and hands the engine's events to the page's
// window.__voice.emit, offering each again until the page takes it. Only frames of the
// local server may ask: dictation opens the microphone, so an embedded foreign frame
// must never reach it.
class VoiceBridge final : public VoiceEngineClient,
                          public PageBridge,
                          public std::enable_shared_from_this<VoiceBridge> {
 public:
  static constexpr std::string_view handlerName = "voice";
  static constexpr const char* onDeviceOnlyKey = "voice.on-device-only";
  static constexpr double statusWait = 1.5;
  static constexpr int defaultRetries = PageDelivery::defaultRetries;
  static constexpr double retryDelay = PageDelivery::retryInterval;
  static constexpr std::size_t maxIdCharacters = 64;
  static constexpr const char* emitScript =
      "var payload = JSON.parse(argumentsJson).payload;\n"
      "return (window.__voice && window.__voice.emit) ? window.__voice.emit(payload) : null;";

  using TransportFactory = std::function<std::shared_ptr<VoiceCloudTransport>(const std::string& base)>;

  // The engine's cloud route, once at launch: the preference, then a transport to the
  // local server on that port, then a first status refresh.
  static void configureCloud(VoiceEngine& engine, int port, const UserDefaults& defaults,
                             const TransportFactory& makeTransport);

  // Only frames of `server`'s origin are served.
  static std::shared_ptr<VoiceBridge> create(MainLoop& loop, std::shared_ptr<VoiceEngine> engine,
                                             UserDefaults* defaults, std::string label, LocalServer server);

  void attach(std::weak_ptr<WebView> webView) { webView_ = std::move(webView); }
  // PageBridge: the page's "voice" messages. Whether this frame may be heard at all; a
  // refusal is logged. The page's bridge table asks before every message it hands on.
  std::string_view messageName() const override { return handlerName; }
  bool admits(const MessageSource& source) override;
  void handle(const ScriptMessage& message) override;
  // Everything this bridge owns, pending permission answers included.
  void release(const std::string& reason);
  // The program went inactive, hid or is ending: stop listening and speaking, but leave a
  // dictation that still waits for its permission answer.
  void systemWantsSilence();
  void emit(Json payload, int retries = defaultRetries);

  void voiceEngine(const VoiceEngineEvent& event) override;

  // Private to create(); public for make_shared.
  VoiceBridge(MainLoop& loop, std::shared_ptr<VoiceEngine> engine, UserDefaults* defaults, std::string label,
              LocalServer server);

 private:
  void dispatch(const std::string& type, const std::string& id, const Json& body);
  void answerCapabilities(const std::string& id, const Json& body);
  void offerToPage(const Json& arguments, std::function<void(ScriptValue)> answered);
  std::weak_ptr<VoiceEngineClient> self() { return weak_from_this(); }

  MainLoop& loop_;
  // Refused requests are logged at most once a second per kind: a frame can post thousands.
  LogThrottle refusalLog_;
  const std::shared_ptr<VoiceEngine> engine_;
  UserDefaults* const defaults_;  // none: preferences are not kept
  const std::string label_;
  const LocalServer server_;
  std::weak_ptr<WebView> webView_;
  // Each capabilities request's wait for the cloud's status, ended with the bridge.
  std::map<uint64_t, TimerHandle> capabilityWaits_;
  uint64_t nextCapabilityWait_ = 0;
};

}  // namespace tovarin
