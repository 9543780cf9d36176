#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main/voice/MainLoopVoiceTimers.h"
#include "main/voice/VoiceEngine.h"
#include "main/voice/VoiceFailure.h"
#include "tests/support/ManualLoop.h"

namespace tovarin::voicefakes {

struct Recognizer final : VoiceRecognizer {
  struct Task final : VoiceRecognitionTask {
    std::function<void(VoiceRecognitionResult)> update;
    std::mutex mutex;
    int buffers = 0;
    bool ended = false, cancelled = false;
    void append(const VoiceAudioBuffer&) override {
      std::lock_guard lock(mutex);
      ++buffers;
    }
    void endAudio() override { ended = true; }
    void cancel() override { cancelled = true; }
  };
  bool available = true, onDevice = true;
  std::function<void(bool)> availability;
  std::vector<std::shared_ptr<Task>> tasks;

  bool isAvailable() const override { return available; }
  bool supportsOnDeviceRecognition() const override { return onDevice; }
  void setOnAvailabilityChange(std::function<void(bool)> callback) override { availability = std::move(callback); }
  std::shared_ptr<VoiceRecognitionTask> recognize(VoiceRecognitionRequest,
                                                  std::function<void(VoiceRecognitionResult)> update) override {
    auto task = std::make_shared<Task>();
    task->update = std::move(update);
    tasks.push_back(task);
    return task;
  }
  void result(std::optional<std::string> text, bool isFinal = false, std::optional<std::string> error = {}) {
    tasks.back()->update({std::move(text), isFinal, std::move(error)});
  }
};

struct RecognizerFactory final : VoiceRecognizerFactory {
  std::shared_ptr<Recognizer> recognizer;  // none: no recogniser for any locale
  std::vector<std::string> asked;
  std::shared_ptr<VoiceRecognizer> make(const std::string& locale) override {
    asked.push_back(locale);
    return recognizer;
  }
};

struct Microphone final : VoiceMicrophone {
  std::function<void()> configurationChange, interruption;
  BufferCallback tap;
  int opens = 0, closes = 0;
  std::optional<VoiceFailure> failNextOpen;
  bool open_ = false;

  void setOnConfigurationChange(std::function<void()> callback) override { configurationChange = std::move(callback); }
  void setOnInterruption(std::function<void()> callback) override { interruption = std::move(callback); }
  std::optional<VoiceFailure> open(BufferCallback onBuffer) override {
    if (failNextOpen) return std::exchange(failNextOpen, std::nullopt);
    ++opens;
    open_ = true;
    tap = std::move(onBuffer);
    return std::nullopt;
  }
  void close() override {
    if (open_) ++closes;
    open_ = false;
    tap = nullptr;
  }
  bool isOpen() const { return open_; }
  void feed(double seconds = 0.1) {
    VoiceAudioBuffer buffer{48000, 1, std::vector<float>(static_cast<size_t>(48000 * seconds), 0.25f)};
    if (tap) tap(buffer);
  }
};

struct Authorizer final : VoiceAuthorizer {
  std::vector<std::string> missing;
  VoicePermission mic = VoicePermission::granted, speechPermission = VoicePermission::granted;
  bool input = true;
  std::vector<Completion> requests, microphoneRequests;

  std::vector<std::string> missingUsageKeys() const override { return missing; }
  VoicePermission microphone() const override { return mic; }
  VoicePermission speech() const override { return speechPermission; }
  bool hasInputDevice() const override { return input; }
  void request(Completion completion) override { requests.push_back(std::move(completion)); }
  void requestMicrophone(Completion completion) override { microphoneRequests.push_back(std::move(completion)); }
};

// Records what the engine asks of it; the test reports back through the listener.
struct Speaker final : VoiceSpeaker {
  std::weak_ptr<VoiceSpeakerListener> listener;
  std::vector<std::shared_ptr<const VoiceUtterance>> spoken;
  int stops = 0;
  double grace = defaultStartGrace;

  void setListener(std::weak_ptr<VoiceSpeakerListener> l) override { listener = std::move(l); }
  void speak(std::shared_ptr<const VoiceUtterance> utterance, bool) override { spoken.push_back(std::move(utterance)); }
  bool stopSpeaking(VoiceSpeechBoundary) override {
    ++stops;
    return true;
  }
  double startGrace(const VoiceUtterance&) const override { return grace; }
  void started(size_t i) { listener.lock()->speakerDidStart(spoken.at(i)); }
  void finished(size_t i) { listener.lock()->speakerDidFinish(spoken.at(i)); }
  void cancelled(size_t i) { listener.lock()->speakerDidCancel(spoken.at(i)); }
  void failed(size_t i, const std::string& code) { listener.lock()->speakerDidFail(spoken.at(i), code); }
};

struct CloudSession final : VoiceCloudSession {
  std::mutex mutex;
  size_t bytes = 0;
  bool finished = false, cancelled = false;
  void send(std::string pcm) override {
    std::lock_guard lock(mutex);
    bytes += pcm.size();
  }
  void finish() override { finished = true; }
  void cancel() override { cancelled = true; }
};

struct SpeakSession final : VoiceSpeakSession {
  std::vector<std::string> texts;
  bool ended = false, stopped = false;
  void send(std::string text) override { texts.push_back(std::move(text)); }
  void end() override { ended = true; }
  void stop() override { stopped = true; }
};

struct Transport final : VoiceCloudTransport {
  std::optional<VoiceCloudStatus> cached;
  std::vector<std::shared_ptr<CloudSession>> sessions;
  std::vector<std::function<void(VoiceCloudUpdate)>> updates;
  std::vector<StatusCompletion> refreshes;
  std::shared_ptr<SpeakSession> speakSession = std::make_shared<SpeakSession>();
  bool canSpeak = true;
  std::function<void(VoiceSpeakUpdate)> speakUpdate;
  int64_t speakVoice = 0;
  double speakRate = 0;

  std::optional<VoiceCloudStatus> status() const override { return cached; }
  void refreshStatus(StatusCompletion completion) override { refreshes.push_back(std::move(completion)); }
  std::shared_ptr<VoiceCloudSession> open(const std::string&, std::function<void(VoiceCloudUpdate)> update) override {
    sessions.push_back(std::make_shared<CloudSession>());
    updates.push_back(std::move(update));
    return sessions.back();
  }
  std::shared_ptr<VoiceCloudCancellable> synthesize(const std::string&, double, const std::string&,
                                                    SynthesisCompletion) override {
    return nullptr;
  }
  std::shared_ptr<VoiceSpeakSession> openSpeak(int64_t voice, double rate,
                                               std::function<void(VoiceSpeakUpdate)> update) override {
    if (!canSpeak) return nullptr;
    speakVoice = voice;
    speakRate = rate;
    speakUpdate = std::move(update);
    return speakSession;
  }
};

struct StreamPlayer final : VoiceStreamPlayer {
  bool failStart = false, running = false, stopped = false, hasStarted = false;
  std::vector<std::string> pushed;
  std::function<void()> finishing;
  bool started() const override { return hasStarted; }
  bool start() override {
    if (failStart) return false;
    running = true;
    return true;
  }
  void push(const std::string& pcm) override {
    pushed.push_back(pcm);
    hasStarted = true;
  }
  void finish(std::function<void()> completion) override { finishing = std::move(completion); }
  void stop() override {
    stopped = true;
    running = false;
    finishing = nullptr;
  }
  void drained() {
    auto completion = std::move(finishing);
    finishing = nullptr;
    if (completion) completion();
  }
};

struct Client final : VoiceEngineClient {
  std::vector<VoiceEngineEvent> events;
  void voiceEngine(const VoiceEngineEvent& event) override { events.push_back(event); }
  std::vector<VoiceEngineEvent> take() { return std::exchange(events, {}); }
};

// One engine on a virtual-time loop with every seam faked.
struct Rig {
  ManualLoop loop;
  std::shared_ptr<RecognizerFactory> recognizers = std::make_shared<RecognizerFactory>();
  std::shared_ptr<Microphone> microphone = std::make_shared<Microphone>();
  std::shared_ptr<Authorizer> authorizer = std::make_shared<Authorizer>();
  std::shared_ptr<Speaker> system = std::make_shared<Speaker>();
  std::shared_ptr<Speaker> cloudSpeaker = std::make_shared<Speaker>();
  std::shared_ptr<Transport> transport = std::make_shared<Transport>();
  std::vector<std::shared_ptr<StreamPlayer>> players;
  bool playerFailsStart = false;
  struct Catalog final : VoiceCatalog {
    std::vector<SystemVoice> list = {{"sit/cmn", "Chinese (Mandarin)", "cmn", {"zh-cmn", "zh"}},
                                     {"gmw/en-US", "English (America)", "en-us", {"en"}}};
    std::vector<SystemVoice> voices() override { return list; }
  };
  std::shared_ptr<Catalog> catalog = std::make_shared<Catalog>();
  std::vector<SystemVoice>& voices = catalog->list;
  std::shared_ptr<Client> owner = std::make_shared<Client>();
  std::shared_ptr<Client> other = std::make_shared<Client>();
  std::shared_ptr<VoiceEngine> engine;

  Rig() {
    cloudSpeaker->grace = 15.0;
    VoiceEngine::Parts parts;
    parts.recognizers = recognizers;
    parts.microphone = microphone;
    parts.authorizer = authorizer;
    parts.synthesizer = system;
    parts.timers = std::make_shared<MainLoopVoiceTimers>(loop);
    parts.catalog = catalog;
    parts.cloudSpeaker = cloudSpeaker;
    parts.makeStreamPlayer = [this] {
      auto player = std::make_shared<StreamPlayer>();
      player->failStart = playerFailsStart;
      players.push_back(player);
      return player;
    };
    engine = VoiceEngine::create(loop, std::move(parts));
  }
  void withLocalRecognizer(bool onDevice = true) {
    recognizers->recognizer = std::make_shared<Recognizer>();
    recognizers->recognizer->onDevice = onDevice;
  }
  void withCloud(std::optional<VoiceCloudStatus> status = std::nullopt) {
    transport->cached = std::move(status);
    engine->setCloud(transport);
  }
  void run() { loop.runUntilIdle(); }
  void grantLocal(std::optional<std::string> code = std::nullopt) {
    auto request = authorizer->requests.at(0);
    authorizer->requests.erase(authorizer->requests.begin());
    request(std::move(code));
    run();
  }
  void grantMicrophone(std::optional<std::string> code = std::nullopt) {
    auto request = authorizer->microphoneRequests.at(0);
    authorizer->microphoneRequests.erase(authorizer->microphoneRequests.begin());
    request(std::move(code));
    run();
  }
  void listen(const std::string& id, bool holding = false, std::shared_ptr<Client> who = nullptr) {
    engine->startListening(id, "zh-CN", who ? who : owner, holding);
    run();
  }
  void cloudUpdate(VoiceCloudUpdate update, size_t session = 0) {
    transport->updates.at(session)(std::move(update));
    run();
  }
  void speak(const std::string& id, const std::string& text, std::string locale = "zh-CN",
             std::shared_ptr<Client> who = nullptr) {
    engine->speak(id, text, std::move(locale), std::nullopt, 1.0, who ? who : owner);
    run();
  }
};

}  // namespace tovarin::voicefakes
