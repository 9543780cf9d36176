#include "main/voice/VoiceEngine.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cctype>
#include <cmath>

#include "base/Log.h"
#include "base/Text.h"
#include "main/voice/SpeakStreamProtocol.h"
#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceFailure.h"

namespace tovarin {

using Event = VoiceEngineEvent;

struct VoiceEngine::StreamJob {
  std::string id;
  Owner owner;
  std::shared_ptr<VoiceSpeakSession> session;
  std::shared_ptr<VoiceStreamPlayer> player;
  bool announced = false;
  bool finished = false;
};

namespace {

void voiceLog(std::string_view message) { logWithPrefix("[voice] ", message); }

bool isBlank(std::string_view text) { return text::trimWhitespace(text).empty(); }

bool endsWithAsciiAlphanumeric(std::string_view text) {
  if (text.empty()) return false;
  const unsigned char last = static_cast<unsigned char>(text.back());
  return last < 0x80 && std::isalnum(last);
}

template <class T>
void dropTimer(std::unique_ptr<T>& timer) {
  if (timer) timer->invalidate();
  timer.reset();
}

std::string joinKeys(const std::vector<std::string>& keys) {
  std::string joined;
  for (const auto& key : keys) joined += (joined.empty() ? "" : ", ") + key;
  return joined;
}

bool usable(VoicePermission permission) {
  return permission == VoicePermission::granted || permission == VoicePermission::undetermined;
}

}  // namespace

std::shared_ptr<VoiceEngine> VoiceEngine::create(MainLoop& loop, Parts parts) {
  auto engine = std::make_shared<VoiceEngine>(loop, std::move(parts));
  std::weak_ptr<VoiceEngine> weak = engine;
  if (engine->parts_.cloudSpeaker) engine->parts_.cloudSpeaker->setListener(weak);
  if (engine->parts_.synthesizer) engine->parts_.synthesizer->setListener(weak);
  engine->parts_.microphone->setOnConfigurationChange(
      [weak] { if (auto self = weak.lock()) self->onMain([](VoiceEngine& engine) { engine.audioRouteChanged(); }); });
  engine->parts_.microphone->setOnInterruption(
      [weak] { if (auto self = weak.lock()) self->onMain([](VoiceEngine& engine) { engine.audioInterrupted(); }); });
  return engine;
}

VoiceEngine::VoiceEngine(MainLoop& loop, Parts parts) : loop_(loop), parts_(std::move(parts)) {}

VoiceEngine::~VoiceEngine() {
  for (auto* timer : {&silenceTimer_, &capTimer_, &forceTimer_, &reopenTimer_, &speakWatchdog_}) dropTimer(*timer);
  if (listening_) parts_.microphone->close();
  if (task_) task_->cancel();
  if (cloudSession_) cloudSession_->cancel();
  if (streamJob_) {
    if (streamJob_->session) streamJob_->session->stop();
    streamJob_->player->stop();
  }
}

void VoiceEngine::onMain(std::function<void(VoiceEngine&)> work) {
  loop_.post([weak = weak_from_this(), work = std::move(work)] {
    if (auto self = weak.lock()) work(*self);
  });
}

std::unique_ptr<VoiceTimer> VoiceEngine::after(double seconds, std::function<void(VoiceEngine&)> work) {
  return parts_.timers->schedule(seconds, [weak = weak_from_this(), work = std::move(work)] {
    if (auto self = weak.lock()) work(*self);
  });
}

// ---- Public entry points: queued on the main loop.

void VoiceEngine::startListening(std::string id, std::string locale, Owner owner, bool holding) {
  onMain([=](VoiceEngine& engine) { engine.doStartListening(id, locale, owner, holding); });
}

void VoiceEngine::stopListening(bool commit, std::optional<std::string> id) {
  onMain([=](VoiceEngine& engine) { engine.doStopListening(commit, id); });
}

void VoiceEngine::abandon(Owner owner, std::string reason, bool includePending, std::optional<std::string> id) {
  onMain([=](VoiceEngine& engine) { engine.doAbandon(owner, reason, includePending, id); });
}

void VoiceEngine::speak(std::string id, std::string text, std::string locale, std::optional<std::string> voiceID,
                        double rate, Owner owner) {
  onMain([=](VoiceEngine& engine) { engine.doSpeak(id, text, locale, voiceID, rate, owner); });
}

void VoiceEngine::stopSpeaking() {
  onMain([](VoiceEngine& engine) {
    engine.dropPending();
    engine.cancelLiveJobs();
    engine.cancelStream();
  });
}

void VoiceEngine::startSpeakStream(std::string id, std::optional<int64_t> voice, double rate, Owner owner) {
  onMain([=](VoiceEngine& engine) { engine.doStartSpeakStream(id, voice, rate, owner); });
}

void VoiceEngine::speakStreamText(std::string id, std::string text) {
  onMain([id = std::move(id), text = std::move(text)](VoiceEngine& engine) {
    const auto& job = engine.streamJob_;
    if (!job || job->id != id || job->finished || !job->session) return;
    job->session->send(text::graphemePrefix(text, maxStreamCharacters));
  });
}

void VoiceEngine::endSpeakStream(std::string id) {
  onMain([id = std::move(id)](VoiceEngine& engine) {
    const auto& job = engine.streamJob_;
    if (!job || job->id != id || job->finished || !job->session) return;
    job->session->end();
  });
}

void VoiceEngine::stopSpeakStream(std::string id) {
  onMain([id = std::move(id)](VoiceEngine& engine) {
    if (engine.streamJob_ && engine.streamJob_->id == id) engine.cancelStream();
  });
}

// ---- Configuration and capabilities.

void VoiceEngine::setCloud(std::shared_ptr<VoiceCloudTransport> cloud) {
  assert(loop_.isMainThread());
  cloud_ = std::move(cloud);
  cloudSpeakerCache_.reset();
}

void VoiceEngine::refreshCloud(std::function<void()> completion) {
  assert(loop_.isMainThread());
  if (!cloud_) {
    loop_.post(std::move(completion));
    return;
  }
  cloud_->refreshStatus([&loop = loop_, weak = weak_from_this(), completion = std::move(completion)](auto) {
    loop.post([weak, completion] {
      if (weak.lock()) completion();
    });
  });
}

std::shared_ptr<VoiceCloudTransport> VoiceEngine::cloudRoute() const {
  if (!cloud_ || onDeviceOnly_) return nullptr;
  const auto status = cloud_->status();
  if (status && !status->available && status->reason == VoiceErrorCode::cloudUnconfigured) return nullptr;
  return cloud_;
}

VoiceCapabilities VoiceEngine::capabilities(const std::optional<std::string>& locale) const {
  assert(loop_.isMainThread());
  VoiceCapabilities answer;
  const auto recognizer = parts_.recognizers->make(sanitizeLocale(locale.value_or("")));
  answer.onDeviceSupported = recognizer && recognizer->supportsOnDeviceRecognition();
  const auto& authorizer = *parts_.authorizer;
  answer.missingUsageKeys = authorizer.missingUsageKeys();
  answer.microphone = authorizer.microphone();
  answer.speech = authorizer.speech();
  const bool cloudRoutes = cloudRoute() != nullptr;
  if (answer.missingUsageKeys.empty() && authorizer.hasInputDevice() && usable(answer.microphone)) {
    answer.input = (cloudRoutes && !answer.onDeviceSupported) ? true : usable(answer.speech);
  }
  answer.output = true;
  answer.onDeviceOnly = onDeviceOnly_;
  answer.cloudFallback = cloudRoutes;
  const auto status = cloud_ ? cloud_->status() : std::nullopt;
  answer.humanVoice = status && status->speakAvailable;
  if (status) answer.humanVoices = status->speakVoices;
  answer.humanDefault = status ? status->speakDefault : SpeakStreamProtocol::defaultVoice;
  return answer;
}

const std::vector<SystemVoice>& VoiceEngine::systemVoices() {
  if (!systemVoices_) systemVoices_ = parts_.catalog ? parts_.catalog->voices() : std::vector<SystemVoice>{};
  return *systemVoices_;
}

Json VoiceEngine::voiceList() {
  assert(loop_.isMainThread());
  Json list = Json::array();
  for (const auto& voice : systemVoices()) {
    list.push_back({{"id", voice.id}, {"name", voice.name}, {"locale", voice.language}, {"quality", voice.quality}});
  }
  return list;
}

// ---- Static rules.

std::string VoiceEngine::sanitizeLocale(std::string_view locale) {
  std::string clean;
  for (char c : locale) {
    const bool allowed = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
                         c == '-';
    if (allowed && clean.size() < 16) clean += c;
  }
  return clean.empty() ? "zh-CN" : clean;
}

double VoiceEngine::mapRate(double pageRate) {
  const double clamped = (std::isnan(pageRate) || pageRate <= 0.25) ? 0.25 : std::min(pageRate, 4.0);
  return std::clamp(clamped * VoiceUtterance::defaultRate, VoiceUtterance::minimumRate, VoiceUtterance::maximumRate);
}

double VoiceEngine::clampStreamRate(double pageRate) {
  return (std::isnan(pageRate) || pageRate <= 0.5) ? 0.5 : std::min(pageRate, 2.0);
}

std::string VoiceEngine::speakFailureText(std::string_view code) {
  if (code == VoiceErrorCode::signedOut) return "登录岚笺账号之后可以用云端朗读。";
  if (code == VoiceErrorCode::dailyLimit) return "今天的云端朗读用完了，明天再用。";
  if (code == VoiceErrorCode::platformLimit) return "云端朗读今天暂停了，明天恢复。";
  if (code == VoiceErrorCode::network) return "连不上岚笺的服务器，这段话没能读出来。";
  return "这段话没能读出来。";
}

bool VoiceEngine::isBenignRecognizerError(std::string_view error) {
  static constexpr std::array<std::string_view, 4> benign = {
      "kAFAssistantErrorDomain#203", "kAFAssistantErrorDomain#216", "kAFAssistantErrorDomain#301",
      "kAFAssistantErrorDomain#1110"};
  return std::find(benign.begin(), benign.end(), error) != benign.end();
}

std::string VoiceEngine::cloudFinishReason(std::string_view relayReason) {
  if (relayReason.empty() || relayReason == "final") return "final";
  if (relayReason == "idle") return "timeout";
  return std::string(relayReason);
}

// ---- Dictation.

void VoiceEngine::tellOwner(const VoiceEngineEvent& event) {
  if (auto owner = owner_.lock()) owner->voiceEngine(event);
}

void VoiceEngine::failDictation(const std::string& id, std::string code, std::optional<std::string> message,
                                std::optional<std::string> reason) {
  tellOwner(Event::Failed{id, std::move(code), std::move(message), std::move(reason)});
}

void VoiceEngine::doStartListening(const std::string& id, const std::string& locale, const Owner& owner,
                                   bool holding) {
  assert(loop_.isMainThread());
  dropPending();
  cancelLiveJobs();
  cancelStream();
  if (listening_ || reopening_) teardown();
  owner_ = owner;
  sessionID_ = id;
  holding_ = holding;
  sessionLocale_ = sanitizeLocale(locale);
  transcript_.clear();
  carried_.clear();
  const auto recognizer = parts_.recognizers->make(sessionLocale_);
  if (recognizer && recognizer->supportsOnDeviceRecognition()) {
    startLocal(id);
    return;
  }
  if (auto cloud = cloudRoute()) {
    startCloudRoute(id, cloud);
    return;
  }
  if (recognizer) {
    std::optional<std::string> reason;
    if (onDeviceOnly_) {
      reason = "on-device-only";
    } else if (cloud_) {
      reason = "no-cloud";
    }
    sessionID_.clear();
    failDictation(id, std::string(VoiceErrorCode::onDeviceUnavailable), std::nullopt, reason);
  } else {
    sessionID_.clear();
    failDictation(id, std::string(VoiceErrorCode::unsupportedLocale));
  }
}

void VoiceEngine::startLocal(const std::string& id) {
  const auto missing = parts_.authorizer->missingUsageKeys();
  if (!missing.empty()) {
    voiceLog("Info.plist 缺少 " + joinKeys(missing) + "，不调授权 API（调了会当场崩）");
    sessionID_.clear();
    failDictation(id, std::string(VoiceErrorCode::missingUsageDescription));
    return;
  }
  parts_.authorizer->request([weak = weak_from_this(), &loop = loop_, id](std::optional<std::string> code) {
    loop.post([weak, id, code] {
      auto self = weak.lock();
      // A second start with the same id may already be capturing; its answer must not
      // open the microphone again.
      if (!self || self->sessionID_ != id || self->listening_ || self->reopening_) return;
      if (code) {
        self->sessionID_.clear();
        self->failDictation(id, *code);
        return;
      }
      self->beginCapture(id);
    });
  });
}

void VoiceEngine::startCloudRoute(const std::string& id, const std::shared_ptr<VoiceCloudTransport>& cloud) {
  const auto status = cloud->status();
  std::optional<std::string> code;
  if (status && status->reason) {
    code = *status->reason;
  } else if (status && !status->noticeAccepted) {
    code = std::string(VoiceErrorCode::noticeRequired);
  } else {
    const auto missing = parts_.authorizer->missingUsageKeys();
    if (std::find(missing.begin(), missing.end(), "NSMicrophoneUsageDescription") != missing.end()) {
      voiceLog("Info.plist 缺少 NSMicrophoneUsageDescription，不调授权 API（调了会当场崩）");
      code = std::string(VoiceErrorCode::missingUsageDescription);
    }
  }
  if (code) {
    sessionID_.clear();
    failDictation(id, *code);
    return;
  }
  parts_.authorizer->requestMicrophone([weak = weak_from_this(), &loop = loop_, id, cloud](auto permission) {
    loop.post([weak, id, cloud, permission] {
      if (auto self = weak.lock()) self->startCloud(id, cloud, permission);
    });
  });
}

void VoiceEngine::captureFailed(const std::string& id, const std::string& code, std::optional<std::string> message) {
  if (isBlank(carried_)) {
    sessionID_.clear();
    failDictation(id, code, std::move(message));
    return;
  }
  voiceLog("换输入设备之后没能重开，已经听到的交出去");
  const std::string heard = std::move(carried_);
  carried_.clear();
  transcript_.clear();
  sessionID_.clear();
  tellOwner(Event::Finished{id, heard, true, "interrupted"});
}

void VoiceEngine::beginCapture(const std::string& id) {
  auto recognizer = parts_.recognizers->make(sessionLocale_);
  if (!recognizer) return captureFailed(id, std::string(VoiceErrorCode::unsupportedLocale), std::nullopt);
  if (!recognizer->isAvailable()) return captureFailed(id, std::string(VoiceErrorCode::recognizerUnavailable), {});
  if (!recognizer->supportsOnDeviceRecognition()) {
    return captureFailed(id, std::string(VoiceErrorCode::onDeviceUnavailable), std::nullopt);
  }
  recognizer->setOnAvailabilityChange([weak = weak_from_this(), &loop = loop_](bool available) {
    loop.post([weak, available] {
      auto self = weak.lock();
      if (!self || available || !self->listening_) return;
      const std::string id = self->sessionID_;
      self->teardown();
      self->failDictation(id, std::string(VoiceErrorCode::recognizerUnavailable));
    });
  });
  recognizer_ = recognizer;
  // The task exists before capture so that the audio thread can feed it directly.
  auto task = recognizer->recognize(VoiceRecognitionRequest{true, true},
                                    [weak = weak_from_this(), &loop = loop_, id](VoiceRecognitionResult result) {
                                      loop.post([weak, id, result = std::move(result)] {
                                        if (auto self = weak.lock()) self->handle(result, id);
                                      });
                                    });
  const auto failure =
      parts_.microphone->open([weakTask = std::weak_ptr<VoiceRecognitionTask>(task)](const VoiceAudioBuffer& buffer) {
        if (auto task = weakTask.lock()) task->append(buffer);
      });
  if (failure) {
    if (task) task->cancel();
    recognizer->setOnAvailabilityChange(nullptr);
    recognizer_.reset();
    return captureFailed(id, failure->code, failure->message);
  }
  task_ = std::move(task);
  listening_ = true;
  sessionOnDevice_ = true;
  tellOwner(Event::Listening{id, true, ""});
  armSilenceTimer(true);
  dropTimer(capTimer_);
  capTimer_ = after(maxSession, [](VoiceEngine& engine) { engine.finish("max-duration", true); });
}

VoiceMicrophone::BufferCallback VoiceEngine::cloudTap() {
  // The audio thread keeps its own references: the converter and session of this capture.
  return [converter = cloudConverter_, session = cloudSession_](const VoiceAudioBuffer& buffer) {
    std::string bytes = converter->convert(buffer);
    if (!bytes.empty()) session->send(std::move(bytes));
  };
}

void VoiceEngine::startCloud(const std::string& id, const std::shared_ptr<VoiceCloudTransport>& cloud,
                             const std::optional<std::string>& permissionCode) {
  if (sessionID_ != id || listening_ || reopening_) return;
  if (permissionCode) {
    sessionID_.clear();
    failDictation(id, *permissionCode);
    return;
  }
  auto session = cloud->open(sessionLocale_, [weak = weak_from_this(), &loop = loop_, id](VoiceCloudUpdate update) {
    loop.post([weak, id, update = std::move(update)] {
      if (auto self = weak.lock()) self->handleCloud(update, id);
    });
  });
  if (!session) {
    sessionID_.clear();
    failDictation(id, std::string(VoiceErrorCode::signedOut));
    return;
  }
  cloudSession_ = session;
  cloudConverter_ = std::make_shared<VoicePCMConverter>();
  if (const auto failure = parts_.microphone->open(cloudTap())) {
    session->cancel();
    cloudSession_.reset();
    cloudConverter_.reset();
    sessionID_.clear();
    failDictation(id, failure->code, failure->message);
    return;
  }
  cloudInputEnded_ = false;
  cloudEndReason_.reset();
  listening_ = true;
  sessionOnDevice_ = false;
  voiceLog("这台设备做不到本机识别，改用云端识别");
  tellOwner(Event::Listening{id, false, cloudRouteNotice});
  armSilenceTimer(true);
  dropTimer(capTimer_);
  capTimer_ = after(maxSession, [id](VoiceEngine& engine) {
    if (engine.sessionID_ == id && !engine.cloudInputEnded_) engine.endCloudInput("max-duration");
  });
}

void VoiceEngine::handle(const VoiceRecognitionResult& result, const std::string& id) {
  assert(loop_.isMainThread());
  if (!listening_ || sessionID_ != id) return;
  if (result.text) {
    std::string combined = *result.text;
    if (!carried_.empty()) combined = carried_ + (endsWithAsciiAlphanumeric(carried_) ? " " : "") + *result.text;
    if (combined != transcript_) {
      transcript_ = combined;
      tellOwner(Event::Partial{id, combined, true});
      armSilenceTimer(false);
    }
    if (result.isFinal) {
      finish("final", true);
      return;
    }
  }
  if (result.error) {
    if (isBenignRecognizerError(*result.error)) {
      finish(transcript_.empty() ? "no-speech" : "final", true);
    } else if (isBlank(transcript_)) {
      failDictation(id, std::string(VoiceErrorCode::recognizerUnavailable), *result.error);
      teardown();
    } else {
      voiceLog("识别中途出错，已经听到的交出去");
      finish("error", true);
    }
  }
}

void VoiceEngine::handleCloud(const VoiceCloudUpdate& update, const std::string& id) {
  assert(loop_.isMainThread());
  if (!listening_ || sessionID_ != id || sessionOnDevice_ || !cloudSession_) return;
  if (const auto* partial = std::get_if<VoiceCloudUpdate::Partial>(&update.value)) {
    if (partial->text != transcript_) {
      transcript_ = partial->text;
      tellOwner(Event::Partial{id, partial->text, false});
    }
    if (!cloudInputEnded_) armSilenceTimer(false);
  } else if (const auto* final = std::get_if<VoiceCloudUpdate::Final>(&update.value)) {
    if (!final->text.empty()) transcript_ = final->text;
    finish(cloudEndReason_.value_or(cloudFinishReason(final->reason)), true);
  } else if (const auto* failed = std::get_if<VoiceCloudUpdate::Failed>(&update.value)) {
    if (isBlank(transcript_)) {
      teardown();
      failDictation(id, failed->code, failed->message);
    } else {
      finish((cloudInputEnded_ && failed->code == VoiceErrorCode::network) ? "final" : "error", true);
    }
  }
}

void VoiceEngine::endCloudInput(const std::optional<std::string>& reason) {
  parts_.microphone->close();
  if (cloudConverter_) {
    std::string rest = cloudConverter_->flush();
    if (!rest.empty()) cloudSession_->send(std::move(rest));
    cloudConverter_.reset();
  }
  cloudInputEnded_ = true;
  if (reason) cloudEndReason_ = reason;
  cloudSession_->finish();
  dropTimer(silenceTimer_);
  dropTimer(forceTimer_);
  forceTimer_ = after(cloudFinalGrace, [](VoiceEngine& engine) { engine.finish("timeout", true); });
}

void VoiceEngine::doStopListening(bool commit, const std::optional<std::string>& id) {
  assert(loop_.isMainThread());
  if (id && *id != sessionID_) return;
  if (!commit || (!listening_ && !reopening_)) {
    if (listening_ || reopening_) {
      finish("cancelled", false);
    } else if (!sessionID_.empty()) {
      // Still waiting for the permission answer: end it, so that a release of the key
      // before the answer never opens the microphone.
      teardown();
    }
    return;
  }
  if (reopening_) {
    finish("final", true);
    return;
  }
  if (cloudSession_) {
    if (!cloudInputEnded_) endCloudInput(std::nullopt);
    return;
  }
  parts_.microphone->close();
  if (task_) task_->endAudio();
  dropTimer(forceTimer_);
  forceTimer_ = after(finalGrace, [](VoiceEngine& engine) { engine.finish("timeout", true); });
}

void VoiceEngine::finish(const std::string& reason, bool deliver) {
  assert(loop_.isMainThread());
  if (!listening_ && !reopening_ && sessionID_.empty()) return;
  const std::string id = sessionID_;
  const std::string text = transcript_;
  const bool onDevice = sessionOnDevice_;
  teardown();
  if (!deliver) return;
  if (isBlank(text)) {
    failDictation(id, std::string(VoiceErrorCode::noSpeech));
  } else {
    tellOwner(Event::Finished{id, text, onDevice, reason});
  }
}

void VoiceEngine::armSilenceTimer(bool opening) {
  dropTimer(silenceTimer_);
  if (holding_) return;
  silenceTimer_ = after(opening ? openingWindow : silenceWindow,
                        [](VoiceEngine& engine) { engine.doStopListening(true, std::nullopt); });
}

void VoiceEngine::teardown() {
  for (auto* timer : {&silenceTimer_, &capTimer_, &forceTimer_, &reopenTimer_}) dropTimer(*timer);
  parts_.microphone->close();
  if (task_) {
    task_->endAudio();
    task_->cancel();
    task_.reset();
  }
  if (recognizer_) {
    recognizer_->setOnAvailabilityChange(nullptr);
    recognizer_.reset();
  }
  if (cloudSession_) {
    cloudSession_->cancel();
    cloudSession_.reset();
  }
  cloudConverter_.reset();
  cloudInputEnded_ = false;
  cloudEndReason_.reset();
  holding_ = listening_ = reopening_ = false;
  sessionID_.clear();
}

void VoiceEngine::audioRouteChanged() {
  assert(loop_.isMainThread());
  if (!listening_ || owner_.expired()) return;
  const std::string id = sessionID_;
  if (!cloudSession_) {
    voiceLog("音频设备变了，重开一段听写");
    tellOwner(Event::Listening{id, true, inputChangedNotice});
    const std::string heard = transcript_;
    const bool holding = holding_;
    teardown();
    sessionID_ = id;
    holding_ = holding;
    carried_ = transcript_ = heard;
    reopening_ = true;
    reopenTimer_ = after(reopenDelay, [id](VoiceEngine& engine) {
      if (!engine.reopening_ || engine.sessionID_ != id) return;
      engine.reopening_ = false;
      engine.reopenTimer_.reset();
      engine.beginCapture(id);
    });
    return;
  }
  if (cloudInputEnded_) return;
  voiceLog("音频设备变了，云端识别重新接上麦克风");
  tellOwner(Event::Listening{id, false, inputChangedNotice});
  parts_.microphone->close();
  dropTimer(reopenTimer_);
  reopenTimer_ = after(reopenDelay, [id, session = cloudSession_](VoiceEngine& engine) {
    engine.reopenCloudMicrophone(id, session);
  });
}

void VoiceEngine::reopenCloudMicrophone(const std::string& id, const std::shared_ptr<VoiceCloudSession>& session) {
  assert(loop_.isMainThread());
  if (!listening_ || sessionID_ != id || cloudSession_ != session || cloudInputEnded_) return;
  reopenTimer_.reset();
  cloudConverter_ = std::make_shared<VoicePCMConverter>();
  const auto failure = parts_.microphone->open(cloudTap());
  if (!failure) return;
  if (!isBlank(transcript_)) {
    endCloudInput("interrupted");
    return;
  }
  teardown();
  failDictation(id, failure->code, failure->message);
}

void VoiceEngine::audioInterrupted() {
  assert(loop_.isMainThread());
  if (!listening_ && !reopening_) return;
  if (isBlank(transcript_)) {
    const std::string id = sessionID_;
    teardown();
    failDictation(id, std::string(VoiceErrorCode::aborted), std::nullopt, "interrupted");
  } else {
    finish("interrupted", true);
  }
}

void VoiceEngine::doAbandon(const Owner& owner, const std::string& reason, bool includePending,
                            const std::optional<std::string>& id) {
  assert(loop_.isMainThread());
  if (id && !sessionID_.empty() && sessionID_ != *id) return;
  const auto caller = owner.lock();
  if (!caller) return;
  if (ownsSpeech(caller)) {
    dropPending();
    cancelLiveJobs();
    cancelStream();
  }
  const bool ownsDictation = owner_.lock() == caller;
  const bool active = listening_ || reopening_ || (includePending && !sessionID_.empty());
  if (ownsDictation && active) {
    const std::string sessionID = sessionID_;
    teardown();
    caller->voiceEngine(Event::Failed{sessionID, std::string(VoiceErrorCode::aborted), std::nullopt, reason});
  }
}

// ---- Speaking.

void VoiceEngine::tellSpeechOwner(const Owner& owner, const VoiceEngineEvent& event) {
  if (auto client = owner.lock()) {
    client->voiceEngine(event);
  } else {
    tellOwner(event);
  }
}

bool VoiceEngine::ownsSpeech(const std::shared_ptr<VoiceEngineClient>& owner) const {
  if (pendingSpeak_ && pendingSpeak_->owner.lock() == owner) return true;
  return std::any_of(speakJobs_.begin(), speakJobs_.end(), [&](const SpeakJob& job) { return job.owner.lock() == owner; });
}

std::shared_ptr<VoiceSpeaker> VoiceEngine::cloudSpeaker() {
  if (!cloud_) return nullptr;
  if (cloudSpeakerCache_) return cloudSpeakerCache_;
  if (parts_.cloudSpeaker) {
    cloudSpeakerCache_ = parts_.cloudSpeaker;
  } else if (parts_.makeCloudSpeaker) {
    cloudSpeakerCache_ = parts_.makeCloudSpeaker(cloud_);
    if (cloudSpeakerCache_) cloudSpeakerCache_->setListener(weak_from_this());
  }
  return cloudSpeakerCache_;
}

void VoiceEngine::doSpeak(const std::string& id, const std::string& text, const std::string& locale,
                          const std::optional<std::string>& voiceID, double rate, const Owner& owner) {
  assert(loop_.isMainThread());
  const auto direct = [&](const VoiceEngineEvent& event) {
    if (auto client = owner.lock()) client->voiceEngine(event);
  };
  if (dictationActive()) {
    direct(Event::SpeakFailed{id, std::string(VoiceErrorCode::speakFailed), listeningBlocksSpeech});
    return;
  }
  std::string cut = text::graphemePrefix(text, maxSpeakCharacters);
  if (isBlank(cut)) {
    direct(Event::SpeakEnded{id, false});
    return;
  }
  auto utterance = std::make_shared<VoiceUtterance>();
  utterance->text = std::move(cut);
  utterance->language = sanitizeLocale(locale);
  const auto voice = SystemVoice::choose(systemVoices(), voiceID, utterance->language);
  if (voice) utterance->voice = voice->id;
  utterance->rate = mapRate(rate);
  bool viaCloud = false;
  if (!voice && cloudSpeaker() && text::lowercased(utterance->language).starts_with("zh")) {
    const auto status = cloud_->status();
    viaCloud = !status || status->ttsAvailable;
  }
  dropPending();
  pendingSpeak_ = SpeakJob{std::move(utterance), id, owner, false, false, viaCloud};
  cancelLiveJobs();
  handOff();
}

void VoiceEngine::dropPending() {
  if (!pendingSpeak_) return;
  const SpeakJob job = std::move(*pendingSpeak_);
  pendingSpeak_.reset();
  tellSpeechOwner(job.owner, Event::SpeakEnded{job.id, true});
}

void VoiceEngine::cancelLiveJobs() {
  bool system = false, cloud = false;
  for (auto& job : speakJobs_) {
    job.stale = true;
    (job.viaCloud ? cloud : system) = true;
  }
  if (system) parts_.synthesizer->stopSpeaking(VoiceSpeechBoundary::immediate);
  if (cloud) {
    if (auto speaker = cloudSpeaker()) speaker->stopSpeaking(VoiceSpeechBoundary::immediate);
  }
}

void VoiceEngine::handOff() {
  if (!speakJobs_.empty() || !pendingSpeak_) return;
  SpeakJob job = std::move(*pendingSpeak_);
  pendingSpeak_.reset();
  std::shared_ptr<VoiceSpeaker> speaker = job.viaCloud ? cloudSpeaker() : nullptr;
  if (!speaker) {
    speaker = parts_.synthesizer;
    job.viaCloud = false;
  }
  const Utterance utterance = job.utterance;
  speakJobs_.push_back(std::move(job));
  armSpeakWatchdog(speaker->startGrace(*utterance));
  speaker->speak(utterance, listening_);
}

void VoiceEngine::armSpeakWatchdog(double grace) {
  dropTimer(speakWatchdog_);
  speakWatchdog_ = after(grace, [](VoiceEngine& engine) { engine.speakWatchdogFired(); });
}

void VoiceEngine::speakWatchdogFired() {
  assert(loop_.isMainThread());
  speakWatchdog_.reset();
  std::vector<SpeakJob> expired;
  std::erase_if(speakJobs_, [&](SpeakJob& job) {
    if (job.started) return false;
    expired.push_back(std::move(job));
    return true;
  });
  for (const auto& job : expired) {
    // The speaker may still start late; it must not sound after its end was reported.
    if (job.viaCloud) {
      if (auto speaker = cloudSpeaker()) speaker->stopSpeaking(VoiceSpeechBoundary::immediate);
    } else {
      parts_.synthesizer->stopSpeaking(VoiceSpeechBoundary::immediate);
    }
    if (job.stale) {
      tellSpeechOwner(job.owner, Event::SpeakEnded{job.id, true});
    } else {
      tellSpeechOwner(job.owner, Event::SpeakFailed{job.id, std::string(VoiceErrorCode::speakFailed),
                                                    speakFailureText(VoiceErrorCode::speakFailed)});
    }
  }
  handOff();
}

VoiceEngine::SpeakJob* VoiceEngine::liveJob(const Utterance& utterance) {
  for (auto& job : speakJobs_) {
    if (job.utterance == utterance) return &job;
  }
  return nullptr;
}

std::optional<VoiceEngine::SpeakJob> VoiceEngine::finishJob(const Utterance& utterance) {
  auto it = std::find_if(speakJobs_.begin(), speakJobs_.end(),
                         [&](const SpeakJob& job) { return job.utterance == utterance; });
  if (it == speakJobs_.end()) return std::nullopt;
  SpeakJob job = std::move(*it);
  speakJobs_.erase(it);
  if (speakJobs_.empty()) dropTimer(speakWatchdog_);
  return job;
}

void VoiceEngine::speakerDidStart(const Utterance& utterance) {
  assert(loop_.isMainThread());
  SpeakJob* job = liveJob(utterance);
  if (!job) return;
  job->started = true;
  if (!job->stale) {
    tellSpeechOwner(job->owner, Event::SpeakStarted{job->id});
    return;
  }
  const bool viaCloud = job->viaCloud;
  parts_.synthesizer->stopSpeaking(VoiceSpeechBoundary::immediate);
  if (viaCloud) {
    if (auto speaker = cloudSpeaker()) speaker->stopSpeaking(VoiceSpeechBoundary::immediate);
  }
}

void VoiceEngine::speakerDidFinish(const Utterance& utterance) {
  assert(loop_.isMainThread());
  const auto job = finishJob(utterance);
  if (!job) return;
  tellSpeechOwner(job->owner, Event::SpeakEnded{job->id, job->stale});
  handOff();
}

void VoiceEngine::speakerDidCancel(const Utterance& utterance) {
  assert(loop_.isMainThread());
  const auto job = finishJob(utterance);
  if (!job) return;
  tellSpeechOwner(job->owner, Event::SpeakEnded{job->id, true});
  handOff();
}

void VoiceEngine::speakerDidFail(const Utterance& utterance, const std::string& code) {
  assert(loop_.isMainThread());
  const auto job = finishJob(utterance);
  if (!job) return;
  if (job->stale) {
    tellSpeechOwner(job->owner, Event::SpeakEnded{job->id, true});
  } else {
    tellSpeechOwner(job->owner,
                    Event::SpeakFailed{job->id, std::string(VoiceErrorCode::speakFailed), speakFailureText(code)});
  }
  handOff();
}

// ---- Speech streams.

void VoiceEngine::doStartSpeakStream(const std::string& id, std::optional<int64_t> voice, double rate,
                                     const Owner& owner) {
  assert(loop_.isMainThread());
  const auto fail = [&](std::string_view code, std::string message) {
    if (auto client = owner.lock()) client->voiceEngine(Event::SpeakStreamFailed{id, std::string(code), message, false});
  };
  if (dictationActive()) return fail(VoiceErrorCode::speakFailed, listeningBlocksSpeech);
  dropPending();
  cancelLiveJobs();
  cancelStream();
  if (!cloud_) return fail(VoiceErrorCode::cloudUnconfigured, speakFailureText(VoiceErrorCode::cloudUnconfigured));
  auto player = parts_.makeStreamPlayer ? parts_.makeStreamPlayer() : nullptr;
  auto job = std::make_shared<StreamJob>(StreamJob{id, owner, nullptr, player});
  if (!player || !player->start()) {
    return fail(VoiceErrorCode::speakFailed, speakFailureText(VoiceErrorCode::speakFailed));
  }
  const auto status = cloud_->status();
  int64_t chosen = SpeakStreamProtocol::defaultVoice;
  if (status) {
    chosen = status->speakDefault;
    const bool listed = voice && std::any_of(status->speakVoices.begin(), status->speakVoices.end(),
                                             [&](const HumanVoiceOption& option) { return option.id == *voice; });
    if (listed) chosen = *voice;
  }
  std::weak_ptr<StreamJob> weakJob = job;
  job->session = cloud_->openSpeak(chosen, clampStreamRate(rate),
                                   [weak = weak_from_this(), &loop = loop_, weakJob](VoiceSpeakUpdate update) {
                                     loop.post([weak, weakJob, update = std::move(update)] {
                                       auto self = weak.lock();
                                       auto job = weakJob.lock();
                                       if (self && job) self->streamUpdate(update, job);
                                     });
                                   });
  if (!job->session) {
    player->stop();
    return fail(VoiceErrorCode::signedOut, speakFailureText(VoiceErrorCode::signedOut));
  }
  streamJob_ = std::move(job);
}

void VoiceEngine::cancelStream() {
  assert(loop_.isMainThread());
  if (!streamJob_) return;
  const auto job = std::move(streamJob_);
  streamJob_.reset();
  job->finished = true;
  if (job->session) job->session->stop();
  job->player->stop();
  tellSpeechOwner(job->owner, Event::SpeakEnded{job->id, true});
}

void VoiceEngine::streamUpdate(const VoiceSpeakUpdate& update, const std::shared_ptr<StreamJob>& job) {
  assert(loop_.isMainThread());
  if (streamJob_ != job || job->finished) return;
  if (const auto* audio = std::get_if<VoiceSpeakUpdate::Audio>(&update.value)) {
    job->player->push(audio->pcm);
    if (!job->announced) {
      job->announced = true;
      tellSpeechOwner(job->owner, Event::SpeakStarted{job->id});
    }
  } else if (const auto* done = std::get_if<VoiceSpeakUpdate::Done>(&update.value)) {
    const bool cancelled = done->reason == "stopped";
    job->player->finish([weak = weak_from_this(), weakJob = std::weak_ptr<StreamJob>(job), cancelled] {
      auto self = weak.lock();
      auto job = weakJob.lock();
      if (!self || !job || job->finished) return;
      job->finished = true;
      if (self->streamJob_ == job) self->streamJob_.reset();
      self->tellSpeechOwner(job->owner, Event::SpeakEnded{job->id, cancelled});
    });
  } else if (const auto* failed = std::get_if<VoiceSpeakUpdate::Failed>(&update.value)) {
    const bool started = job->player->started();
    job->finished = true;
    job->player->stop();
    if (streamJob_ == job) streamJob_.reset();
    tellSpeechOwner(job->owner, Event::SpeakStreamFailed{job->id, failed->code,
                                                         failed->message.value_or(speakFailureText(failed->code)),
                                                         started});
  }
}

}  // namespace tovarin
