#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/voice/SystemVoice.h"
#include "main/voice/VoiceAuthorizer.h"
#include "main/voice/VoiceCapabilities.h"
#include "main/voice/VoiceCloudTransport.h"
#include "main/voice/VoiceEngineClient.h"
#include "main/voice/VoiceMicrophone.h"
#include "main/voice/VoicePCMConverter.h"
#include "main/voice/VoiceRecognizer.h"
#include "main/voice/VoiceSpeaker.h"
#include "main/voice/VoiceSpeakerListener.h"
#include "main/voice/VoiceStreamPlayer.h"
#include "main/voice/VoiceTimers.h"

namespace tovarin {

// The one voice object of the process: at most one dictation, the read-aloud jobs (one
// pending, the live ones handed to a speaker) and one speech stream. All state lives on
// the main loop, and the methods that touch it assert they run there; public calls queue
// their work there and do nothing once the engine is gone. Owners are held weakly and
// told what happens through VoiceEngineClient.
class VoiceEngine final : public VoiceSpeakerListener, public std::enable_shared_from_this<VoiceEngine> {
 public:
  using Owner = std::weak_ptr<VoiceEngineClient>;
  using CloudSpeakerFactory = std::function<std::shared_ptr<VoiceSpeaker>(std::shared_ptr<VoiceCloudTransport>)>;

  struct Parts {
    std::shared_ptr<VoiceRecognizerFactory> recognizers;
    std::shared_ptr<VoiceMicrophone> microphone;
    std::shared_ptr<VoiceAuthorizer> authorizer;
    std::shared_ptr<VoiceSpeaker> synthesizer;
    std::shared_ptr<VoiceTimers> timers;
    // The installed system voices; asked once, on first need.
    std::shared_ptr<VoiceCatalog> catalog;
    // A speaker given here is used for cloud reading instead of one made per transport.
    std::shared_ptr<VoiceSpeaker> cloudSpeaker;
    CloudSpeakerFactory makeCloudSpeaker;
    std::function<std::shared_ptr<VoiceStreamPlayer>()> makeStreamPlayer;
  };

  static constexpr double silenceWindow = 2.0;
  static constexpr double openingWindow = 8.0;
  static constexpr double maxSession = 60.0;
  static constexpr double finalGrace = 1.5;
  static constexpr double cloudFinalGrace = 8.0;
  static constexpr double reopenDelay = 0.35;
  static constexpr std::size_t maxSpeakCharacters = 20000;
  static constexpr std::size_t maxStreamCharacters = 4000;
  static constexpr const char* listeningBlocksSpeech = "正在听，说完再朗读。";
  static constexpr const char* cloudRouteNotice =
      "这台设备没有这个语言的本机识别，这次改用云端识别（腾讯云），岚笺不保存录音。";
  static constexpr const char* inputChangedNotice = "输入设备变了，已经重新开始听。";

  static std::shared_ptr<VoiceEngine> create(MainLoop& loop, Parts parts);
  ~VoiceEngine() override;

  // Dictation.
  void startListening(std::string id, std::string locale, Owner owner, bool holding);
  void stopListening(bool commit, std::optional<std::string> id);
  void abandon(Owner owner, std::string reason, bool includePending, std::optional<std::string> id = std::nullopt);

  // Read-aloud and speech streams.
  void speak(std::string id, std::string text, std::string locale, std::optional<std::string> voiceID, double rate,
             Owner owner);
  void stopSpeaking();
  void startSpeakStream(std::string id, std::optional<int64_t> voice, double rate, Owner owner);
  void speakStreamText(std::string id, std::string text);
  void endSpeakStream(std::string id);
  void stopSpeakStream(std::string id);

  // Main loop only.
  void setCloud(std::shared_ptr<VoiceCloudTransport> cloud);
  const std::shared_ptr<VoiceCloudTransport>& cloud() const { return cloud_; }
  void setOnDeviceOnly(bool value) { onDeviceOnly_ = value; }
  bool onDeviceOnly() const { return onDeviceOnly_; }
  VoiceCapabilities capabilities(const std::optional<std::string>& locale) const;
  // Runs the completion on the main loop once the relay answered, or at once (queued)
  // without a transport.
  void refreshCloud(std::function<void()> completion);
  Json voiceList();

  static std::string sanitizeLocale(std::string_view locale);
  // A page rate (1 normal) on the utterance scale (0 to 1, 0.5 normal).
  static double mapRate(double pageRate);
  // A stream's rate, 0.5 to 2.
  static double clampStreamRate(double pageRate);
  static std::string speakFailureText(std::string_view code);
  // Recogniser errors that end a session normally ("domain#code").
  static bool isBenignRecognizerError(std::string_view error);
  static std::string cloudFinishReason(std::string_view relayReason);

  // VoiceSpeakerListener.
  void speakerDidStart(const Utterance& utterance) override;
  void speakerDidFinish(const Utterance& utterance) override;
  void speakerDidCancel(const Utterance& utterance) override;
  void speakerDidFail(const Utterance& utterance, const std::string& code) override;

  // Private to create(); public for make_shared.
  VoiceEngine(MainLoop& loop, Parts parts);

 private:
  struct SpeakJob {
    Utterance utterance;
    std::string id;
    Owner owner;
    bool stale = false;
    bool started = false;
    bool viaCloud = false;
  };
  struct StreamJob;

  void onMain(std::function<void(VoiceEngine&)> work);
  std::unique_ptr<VoiceTimer> after(double seconds, std::function<void(VoiceEngine&)> work);

  // Dictation.
  void doStartListening(const std::string& id, const std::string& locale, const Owner& owner, bool holding);
  std::shared_ptr<VoiceCloudTransport> cloudRoute() const;
  void startLocal(const std::string& id);
  void startCloudRoute(const std::string& id, const std::shared_ptr<VoiceCloudTransport>& cloud);
  void beginCapture(const std::string& id);
  void captureFailed(const std::string& id, const std::string& code, std::optional<std::string> message);
  void startCloud(const std::string& id, const std::shared_ptr<VoiceCloudTransport>& cloud,
                  const std::optional<std::string>& permissionCode);
  VoiceMicrophone::BufferCallback cloudTap();
  void handle(const VoiceRecognitionResult& result, const std::string& id);
  void handleCloud(const VoiceCloudUpdate& update, const std::string& id);
  void endCloudInput(const std::optional<std::string>& reason);
  void doStopListening(bool commit, const std::optional<std::string>& id);
  void finish(const std::string& reason, bool deliver);
  void armSilenceTimer(bool opening);
  void teardown();
  void audioRouteChanged();
  void reopenCloudMicrophone(const std::string& id, const std::shared_ptr<VoiceCloudSession>& session);
  void audioInterrupted();
  void doAbandon(const Owner& owner, const std::string& reason, bool includePending,
                 const std::optional<std::string>& id);
  void failDictation(const std::string& id, std::string code, std::optional<std::string> message = std::nullopt,
                     std::optional<std::string> reason = std::nullopt);
  void tellOwner(const VoiceEngineEvent& event);
  bool dictationActive() const { return listening_ || reopening_ || !sessionID_.empty(); }

  // Speaking.
  void doSpeak(const std::string& id, const std::string& text, const std::string& locale,
               const std::optional<std::string>& voiceID, double rate, const Owner& owner);
  std::shared_ptr<VoiceSpeaker> cloudSpeaker();
  const std::vector<SystemVoice>& systemVoices();
  void dropPending();
  void cancelLiveJobs();
  void handOff();
  void armSpeakWatchdog(double grace);
  void speakWatchdogFired();
  std::optional<SpeakJob> finishJob(const Utterance& utterance);
  SpeakJob* liveJob(const Utterance& utterance);
  void tellSpeechOwner(const Owner& owner, const VoiceEngineEvent& event);
  bool ownsSpeech(const std::shared_ptr<VoiceEngineClient>& owner) const;
  void doStartSpeakStream(const std::string& id, std::optional<int64_t> voice, double rate, const Owner& owner);
  void cancelStream();
  void streamUpdate(const VoiceSpeakUpdate& update, const std::shared_ptr<StreamJob>& job);

  MainLoop& loop_;
  Parts parts_;

  // Dictation.
  std::shared_ptr<VoiceRecognizer> recognizer_;
  std::shared_ptr<VoiceRecognitionTask> task_;
  std::shared_ptr<VoiceCloudTransport> cloud_;
  bool onDeviceOnly_ = false;
  bool sessionOnDevice_ = true;
  std::shared_ptr<VoiceCloudSession> cloudSession_;
  std::shared_ptr<VoicePCMConverter> cloudConverter_;
  bool cloudInputEnded_ = false;
  std::optional<std::string> cloudEndReason_;
  Owner owner_;
  std::string sessionID_;
  std::string sessionLocale_ = "zh-CN";
  std::string transcript_;
  std::string carried_;
  bool listening_ = false;
  bool reopening_ = false;
  bool holding_ = false;
  std::unique_ptr<VoiceTimer> silenceTimer_, capTimer_, forceTimer_, reopenTimer_;

  // Speaking.
  std::shared_ptr<VoiceSpeaker> cloudSpeakerCache_;
  std::optional<std::vector<SystemVoice>> systemVoices_;
  std::vector<SpeakJob> speakJobs_;
  std::optional<SpeakJob> pendingSpeak_;
  std::unique_ptr<VoiceTimer> speakWatchdog_;
  std::shared_ptr<StreamJob> streamJob_;
};

}  // namespace tovarin
