#include "main/voice/CloudVoiceSpeaker.h"

#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceFailure.h"
#include "main/voice/VoiceSpeechSplit.h"

namespace tovarin {

std::shared_ptr<CloudVoiceSpeaker> CloudVoiceSpeaker::create(MainLoop& loop,
                                                             std::shared_ptr<VoiceCloudTransport> transport,
                                                             std::shared_ptr<VoiceClipPlayer> clips) {
  return std::make_shared<CloudVoiceSpeaker>(loop, std::move(transport), std::move(clips));
}

CloudVoiceSpeaker::CloudVoiceSpeaker(MainLoop& loop, std::shared_ptr<VoiceCloudTransport> transport,
                                     std::shared_ptr<VoiceClipPlayer> clips)
    : loop_(loop), transport_(std::move(transport)), clips_(std::move(clips)) {}

void CloudVoiceSpeaker::speak(std::shared_ptr<const VoiceUtterance> utterance, bool /*whileListening*/) {
  auto playback = std::make_shared<Playback>();
  playback->utterance = utterance;
  playback->segments = VoiceSpeechSplit::split(utterance->text, segmentLength);
  playback->rate = utterance->rate / VoiceUtterance::defaultRate;
  if (current_) {
    // The one it replaces says nothing more.
    if (current_->inflight) current_->inflight->cancel();
    if (current_->clip) current_->clip->stop();
  }
  current_ = playback;
  if (playback->segments.empty()) {
    current_.reset();
    loop_.post([weak = weak_from_this(), utterance] {
      auto self = weak.lock();
      if (!self) return;
      if (auto listener = self->listener_.lock()) listener->speakerDidFinish(utterance);
    });
    return;
  }
  fetch(playback, 0);
}

bool CloudVoiceSpeaker::stopSpeaking(VoiceSpeechBoundary /*boundary*/) {
  if (!current_) return false;
  const auto playback = std::move(current_);
  current_.reset();
  if (playback->inflight) playback->inflight->cancel();
  if (playback->clip) playback->clip->stop();
  loop_.post([weak = weak_from_this(), utterance = playback->utterance] {
    auto self = weak.lock();
    if (!self) return;
    if (auto listener = self->listener_.lock()) listener->speakerDidCancel(utterance);
  });
  return true;
}

void CloudVoiceSpeaker::fetch(const std::shared_ptr<Playback>& playback, std::size_t index) {
  playback->inflight = transport_->synthesize(
      playback->segments[index], playback->rate, "zh-CN",
      [weak = weak_from_this(), &loop = loop_, weakPlayback = std::weak_ptr<Playback>(playback),
       index](VoiceSynthesisResult result) {
        loop.post([weak, weakPlayback, index, result = std::move(result)] {
          auto self = weak.lock();
          auto playback = weakPlayback.lock();
          if (self && playback) self->fetched(playback, index, result);
        });
      });
}

void CloudVoiceSpeaker::fetched(const std::shared_ptr<Playback>& playback, std::size_t index,
                                const VoiceSynthesisResult& result) {
  if (current_ != playback) return;
  playback->inflight.reset();
  if (!result.ok()) return fail(playback, result.failure->code);
  if (index == playback->index && !playback->clip) {
    play(playback, result.audio);
  } else {
    playback->nextAudio = result.audio;
  }
}

void CloudVoiceSpeaker::play(const std::shared_ptr<Playback>& playback, const std::string& audio) {
  // The clip is known only once play() returns; a shared slot lets its end name it.
  auto slot = std::make_shared<std::weak_ptr<VoiceClip>>();
  auto clip = clips_->play(audio, [weak = weak_from_this(), weakPlayback = std::weak_ptr<Playback>(playback), slot] {
    auto self = weak.lock();
    auto playback = weakPlayback.lock();
    if (self && playback) self->segmentEnded(playback, slot->lock());
  });
  if (!clip) return fail(playback, std::string(VoiceErrorCode::speakFailed));
  *slot = clip;
  playback->clip = clip;
  if (!playback->started) {
    playback->started = true;
    if (auto listener = listener_.lock()) listener->speakerDidStart(playback->utterance);
  }
  // Fetch one ahead while this one sounds.
  const std::size_t next = playback->index + 1;
  if (current_ == playback && next < playback->segments.size() && !playback->inflight && !playback->nextAudio) {
    fetch(playback, next);
  }
}

void CloudVoiceSpeaker::segmentEnded(const std::shared_ptr<Playback>& playback,
                                     const std::shared_ptr<VoiceClip>& clip) {
  if (current_ != playback || !clip || playback->clip != clip) return;
  playback->clip.reset();
  playback->index += 1;
  if (playback->index < playback->segments.size()) {
    if (playback->nextAudio) {
      std::string audio = std::move(*playback->nextAudio);
      playback->nextAudio.reset();
      play(playback, audio);
    } else if (!playback->inflight) {
      fetch(playback, playback->index);
    }
    return;
  }
  current_.reset();
  if (auto listener = listener_.lock()) listener->speakerDidFinish(playback->utterance);
}

void CloudVoiceSpeaker::fail(const std::shared_ptr<Playback>& playback, const std::string& code) {
  if (current_ != playback) return;
  current_.reset();
  if (playback->inflight) playback->inflight->cancel();
  if (playback->clip) playback->clip->stop();
  if (auto listener = listener_.lock()) listener->speakerDidFail(playback->utterance, code);
}

}  // namespace tovarin
