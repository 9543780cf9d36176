#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/voice/VoiceClipPlayer.h"
#include "main/voice/VoiceCloudTransport.h"
#include "main/voice/VoiceSpeaker.h"

namespace tovarin {

// Reads an utterance with the relay's voices: the text cut into short segments, each
// synthesised by one request and played as a clip, the next one fetched while the
// current one sounds, so at most one request is in flight and one clip waits. Main
// loop only; every late answer is checked against the current playback.
class CloudVoiceSpeaker final : public VoiceSpeaker, public std::enable_shared_from_this<CloudVoiceSpeaker> {
 public:
  static constexpr std::size_t segmentLength = 150;
  static constexpr double grace = 15.0;

  static std::shared_ptr<CloudVoiceSpeaker> create(MainLoop& loop, std::shared_ptr<VoiceCloudTransport> transport,
                                                   std::shared_ptr<VoiceClipPlayer> clips);

  void setListener(std::weak_ptr<VoiceSpeakerListener> listener) override { listener_ = std::move(listener); }
  void speak(std::shared_ptr<const VoiceUtterance> utterance, bool whileListening) override;
  bool stopSpeaking(VoiceSpeechBoundary boundary) override;
  double startGrace(const VoiceUtterance&) const override { return grace; }

  // Private to create(); public for make_shared.
  CloudVoiceSpeaker(MainLoop& loop, std::shared_ptr<VoiceCloudTransport> transport,
                    std::shared_ptr<VoiceClipPlayer> clips);

 private:
  struct Playback {
    std::shared_ptr<const VoiceUtterance> utterance;
    std::vector<std::string> segments;
    double rate = 1.0;
    std::size_t index = 0;
    bool started = false;
    std::shared_ptr<VoiceClip> clip;
    std::shared_ptr<VoiceCloudCancellable> inflight;
    std::optional<std::string> nextAudio;
  };

  void fetch(const std::shared_ptr<Playback>& playback, std::size_t index);
  void fetched(const std::shared_ptr<Playback>& playback, std::size_t index, const VoiceSynthesisResult& result);
  void play(const std::shared_ptr<Playback>& playback, const std::string& audio);
  void segmentEnded(const std::shared_ptr<Playback>& playback, const std::shared_ptr<VoiceClip>& clip);
  void fail(const std::shared_ptr<Playback>& playback, const std::string& code);

  MainLoop& loop_;
  const std::shared_ptr<VoiceCloudTransport> transport_;
  const std::shared_ptr<VoiceClipPlayer> clips_;
  std::weak_ptr<VoiceSpeakerListener> listener_;
  std::shared_ptr<Playback> current_;
};

}  // namespace tovarin
