#include "platform/linux/EspeakVoiceSpeaker.h"

#include <espeak-ng/speak_lib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <utility>

#include "base/Text.h"
#include "main/voice/VoiceErrorCode.h"
#include "platform/linux/EspeakEngine.h"

namespace tovarin {

struct EspeakVoiceSpeaker::Job {
  std::shared_ptr<const VoiceUtterance> utterance;
  std::atomic<bool> cancelled{false};
  bool started = false;  // worker only
  pa_simple* output = nullptr;  // worker only, while synthesising
};

namespace {

enum Report { started, finished, cancelled, failed };

// Plays each fragment as it is made; a stop ends synthesis at the next fragment.
int onAudio(short* samples, int count, espeak_EVENT* events) {
  auto* job = events ? static_cast<EspeakVoiceSpeaker::Job*>(events->user_data) : nullptr;
  if (!job || job->cancelled) return 1;
  if (samples && count > 0) {
    int error = 0;
    if (pa_simple_write(job->output, samples, static_cast<size_t>(count) * sizeof(short), &error) < 0) return 1;
  }
  return 0;
}

double clamp01(double value) { return std::isnan(value) ? 0.5 : std::clamp(value, 0.0, 1.0); }

}  // namespace

std::shared_ptr<EspeakVoiceSpeaker> EspeakVoiceSpeaker::create(MainLoop& loop, std::string pulseServer) {
  return std::make_shared<EspeakVoiceSpeaker>(loop, std::move(pulseServer));
}

EspeakVoiceSpeaker::EspeakVoiceSpeaker(MainLoop& loop, std::string pulseServer)
    : loop_(loop), pulseServer_(std::move(pulseServer)) {}

EspeakVoiceSpeaker::~EspeakVoiceSpeaker() {
  std::lock_guard lock(mutex_);
  for (auto& job : jobs_) job->cancelled = true;
}

void EspeakVoiceSpeaker::setListener(std::weak_ptr<VoiceSpeakerListener> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

int EspeakVoiceSpeaker::wordsPerMinute(double rate) {
  const double r = clamp01(rate);
  const double normal = VoiceUtterance::defaultRate;
  const double wpm = r <= normal ? espeakRATE_MINIMUM + (espeakRATE_NORMAL - espeakRATE_MINIMUM) * (r / normal)
                                 : espeakRATE_NORMAL + (espeakRATE_MAXIMUM - espeakRATE_NORMAL) * ((r - normal) / (1 - normal));
  return static_cast<int>(std::lround(wpm));
}

std::string EspeakVoiceSpeaker::voiceName(const VoiceUtterance& utterance) {
  if (!utterance.voice.empty()) return utterance.voice;
  const std::string language = text::lowercased(utterance.language);
  if (language.empty() || language.starts_with("zh") || language.starts_with("cmn")) return "cmn";
  if (language.starts_with("yue")) return "yue";
  std::string name = language;
  std::replace(name.begin(), name.end(), '_', '-');
  return name;
}

void EspeakVoiceSpeaker::speak(std::shared_ptr<const VoiceUtterance> utterance, bool /*whileListening*/) {
  auto job = std::make_shared<Job>();
  job->utterance = std::move(utterance);
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(job);
  }
  // The job keeps the speaker for its reports; a dropped speaker's jobs are cancelled.
  EspeakEngine::shared().queue().async([weak = weak_from_this(), job] {
    if (auto self = weak.lock()) self->speakOnWorker(job);
  });
}

bool EspeakVoiceSpeaker::stopSpeaking(VoiceSpeechBoundary /*boundary*/) {
  std::lock_guard lock(mutex_);
  bool stopped = false;
  for (auto& job : jobs_) stopped |= !job->cancelled.exchange(true);
  return stopped;
}

void EspeakVoiceSpeaker::speakOnWorker(const std::shared_ptr<Job>& job) {
  if (job->cancelled) return report(job, cancelled);
  const int rate = EspeakEngine::shared().sampleRate();
  if (rate <= 0) return report(job, failed, std::string(VoiceErrorCode::speakFailed));
  espeak_SetSynthCallback(&onAudio);
  const VoiceUtterance& utterance = *job->utterance;
  if (espeak_SetVoiceByName(voiceName(utterance).c_str()) != EE_OK && espeak_SetVoiceByName("cmn") != EE_OK) {
    return report(job, failed, std::string(VoiceErrorCode::speakFailed));
  }
  espeak_SetParameter(espeakRATE, wordsPerMinute(utterance.rate), 0);
  espeak_SetParameter(espeakVOLUME, static_cast<int>(std::lround(std::clamp(utterance.volume, 0.0, 1.0) * 100)), 0);
  espeak_SetParameter(espeakPITCH, static_cast<int>(std::lround(std::clamp(utterance.pitchMultiplier, 0.5, 2.0) * 50)), 0);

  const pa_sample_spec spec{PA_SAMPLE_S16NE, static_cast<uint32_t>(rate), 1};
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(200 * 1000, &spec));  // bounds how late a stop lands
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  int error = 0;
  job->output = pa_simple_new(pulseServer_.empty() ? nullptr : pulseServer_.c_str(), "TheTovarin", PA_STREAM_PLAYBACK,
                              nullptr, "read aloud", &spec, nullptr, &attributes, &error);
  if (!job->output) return report(job, failed, std::string(VoiceErrorCode::speakFailed));

  report(job, started);
  const std::string& text = utterance.text;
  espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, job.get());
  if (job->cancelled) {
    pa_simple_flush(job->output, &error);
  } else {
    pa_simple_drain(job->output, &error);
  }
  pa_simple_free(std::exchange(job->output, nullptr));
  report(job, job->cancelled ? cancelled : finished);
}

void EspeakVoiceSpeaker::forget(const std::shared_ptr<Job>& job) {
  std::lock_guard lock(mutex_);
  std::erase(jobs_, job);
}

void EspeakVoiceSpeaker::report(const std::shared_ptr<Job>& job, int what, std::string code) {
  if (what != started) forget(job);
  loop_.post([weak = weak_from_this(), job, what, code = std::move(code)] {
    auto self = weak.lock();
    if (!self) return;
    std::shared_ptr<VoiceSpeakerListener> listener;
    {
      std::lock_guard lock(self->mutex_);
      listener = self->listener_.lock();
    }
    if (!listener) return;
    switch (what) {
      case started: return listener->speakerDidStart(job->utterance);
      case finished: return listener->speakerDidFinish(job->utterance);
      case cancelled: return listener->speakerDidCancel(job->utterance);
      default: return listener->speakerDidFail(job->utterance, code);
    }
  });
}

}  // namespace tovarin
