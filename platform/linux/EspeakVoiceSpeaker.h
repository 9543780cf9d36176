#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "base/MainLoop.h"
#include "main/voice/VoiceSpeaker.h"

namespace tovarin {

// System voices: espeak-ng (Mandarin "cmn" for Chinese) synthesising on a worker thread
// and playing through PulseAudio. Utterances are spoken one after another; each gets
// start and then exactly one of finish, cancel or failure, delivered on the main loop in
// that order. A stop cuts the utterance within a fraction of a second, at the next audio
// fragment, whatever the boundary asked for.
class EspeakVoiceSpeaker final : public VoiceSpeaker, public std::enable_shared_from_this<EspeakVoiceSpeaker> {
 public:
  // pulseServer: a Pulse server address ("unix:/path"); empty for the user's own.
  static std::shared_ptr<EspeakVoiceSpeaker> create(MainLoop& loop, std::string pulseServer = {});
  ~EspeakVoiceSpeaker() override;

  void setListener(std::weak_ptr<VoiceSpeakerListener> listener) override;
  void speak(std::shared_ptr<const VoiceUtterance> utterance, bool whileListening) override;
  bool stopSpeaking(VoiceSpeechBoundary boundary) override;

  // The engine's rate scale (0 to 1, 0.5 normal) in espeak's words per minute.
  static int wordsPerMinute(double rate);
  // The espeak voice for an utterance: its own voice id, else by language.
  static std::string voiceName(const VoiceUtterance& utterance);

  struct Job;
  // Private to create(); public for make_shared.
  EspeakVoiceSpeaker(MainLoop& loop, std::string pulseServer);

 private:
  void speakOnWorker(const std::shared_ptr<Job>& job);
  void report(const std::shared_ptr<Job>& job, int what, std::string code = {});
  void forget(const std::shared_ptr<Job>& job);

  MainLoop& loop_;
  const std::string pulseServer_;
  std::mutex mutex_;
  std::weak_ptr<VoiceSpeakerListener> listener_;  // mutex_
  std::deque<std::shared_ptr<Job>> jobs_;          // mutex_; queued or speaking, in order
};

}  // namespace tovarin
