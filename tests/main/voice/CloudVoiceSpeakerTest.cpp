#include "main/voice/CloudVoiceSpeaker.h"

#include <gtest/gtest.h>

#include "main/voice/VoiceCloudTaskHandle.h"
#include "main/voice/VoiceFailure.h"
#include "main/voice/VoiceSpeechSplit.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

struct SynthesisTransport final : VoiceCloudTransport {
  struct Request {
    std::string text;
    double rate;
    std::string locale;
    SynthesisCompletion completion;
    std::shared_ptr<VoiceCloudTaskHandle> handle;
  };
  std::vector<Request> requests;

  std::optional<VoiceCloudStatus> status() const override { return std::nullopt; }
  void refreshStatus(StatusCompletion completion) override { completion(std::nullopt); }
  std::shared_ptr<VoiceCloudSession> open(const std::string&, std::function<void(VoiceCloudUpdate)>) override {
    return nullptr;
  }
  std::shared_ptr<VoiceCloudCancellable> synthesize(const std::string& text, double rate, const std::string& locale,
                                                    SynthesisCompletion completion) override {
    requests.push_back({text, rate, locale, std::move(completion), std::make_shared<VoiceCloudTaskHandle>()});
    return requests.back().handle;
  }
  void answer(size_t i, VoiceSynthesisResult result) { requests.at(i).completion(std::move(result)); }
};

struct Clips final : VoiceClipPlayer {
  struct Clip final : VoiceClip {
    std::string audio;
    std::function<void()> ended;
    bool stopped = false;
    void stop() override { stopped = true; }
  };
  std::vector<std::shared_ptr<Clip>> played;
  std::shared_ptr<VoiceClip> play(const std::string& audio, std::function<void()> ended) override {
    if (audio == "garbage") return nullptr;
    auto clip = std::make_shared<Clip>();
    clip->audio = audio;
    clip->ended = std::move(ended);
    played.push_back(clip);
    return clip;
  }
};

struct Listener final : VoiceSpeakerListener {
  std::vector<std::string> events;
  void speakerDidStart(const Utterance& u) override { events.push_back("start " + u->text.substr(0, 3)); }
  void speakerDidFinish(const Utterance& u) override { events.push_back("finish " + u->text.substr(0, 3)); }
  void speakerDidCancel(const Utterance& u) override { events.push_back("cancel " + u->text.substr(0, 3)); }
  void speakerDidFail(const Utterance& u, const std::string& code) override {
    events.push_back("fail " + u->text.substr(0, 3) + " " + code);
  }
};

struct SpeakerRig {
  ManualLoop loop;
  std::shared_ptr<SynthesisTransport> transport = std::make_shared<SynthesisTransport>();
  std::shared_ptr<Clips> clips = std::make_shared<Clips>();
  std::shared_ptr<Listener> listener = std::make_shared<Listener>();
  std::shared_ptr<CloudVoiceSpeaker> speaker = CloudVoiceSpeaker::create(loop, transport, clips);
  SpeakerRig() { speaker->setListener(listener); }

  std::shared_ptr<const VoiceUtterance> say(std::string text, double rate = VoiceUtterance::defaultRate) {
    auto utterance = std::make_shared<VoiceUtterance>();
    utterance->text = std::move(text);
    utterance->rate = rate;
    speaker->speak(utterance, false);
    loop.runUntilIdle();
    return utterance;
  }
  void answer(size_t i, std::string audio) {
    transport->answer(i, VoiceSynthesisResult{std::move(audio), std::nullopt});
    loop.runUntilIdle();
  }
  void fail(size_t i, std::string code) {
    transport->answer(i, VoiceSynthesisResult{{}, VoiceFailure(std::move(code))});
    loop.runUntilIdle();
  }
  void end(size_t clip) {
    clips->played.at(clip)->ended();
    loop.runUntilIdle();
  }
};

std::string sentences(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "今天的天气很好，我们一起去公园散步吧。";  // 19 scalars each
  return text;
}

TEST(CloudVoiceSpeakerTest, FetchesOneAheadAndPlaysSegmentsInTurn) {
  SpeakerRig rig;
  const std::string text = sentences(21);  // 399 scalars
  rig.say(text, 0.75);
  const auto segments = VoiceSpeechSplit::split(text, CloudVoiceSpeaker::segmentLength);
  ASSERT_GE(segments.size(), 3u);
  ASSERT_EQ(rig.transport->requests.size(), 1u);
  EXPECT_EQ(rig.transport->requests[0].locale, "zh-CN");
  EXPECT_DOUBLE_EQ(rig.transport->requests[0].rate, 1.5);
  EXPECT_TRUE(rig.listener->events.empty());
  rig.answer(0, "clip0");
  EXPECT_EQ(rig.listener->events, std::vector<std::string>{"start " + text.substr(0, 3)});
  ASSERT_EQ(rig.transport->requests.size(), 2u);  // segment 1 as soon as segment 0 sounds
  EXPECT_EQ(rig.transport->requests[1].text, segments[1]);
  rig.answer(1, "clip1");
  EXPECT_EQ(rig.clips->played.size(), 1u);  // waits for segment 0 to end
  rig.end(0);
  ASSERT_EQ(rig.clips->played.size(), 2u);
  EXPECT_EQ(rig.clips->played[1]->audio, "clip1");
  ASSERT_EQ(rig.transport->requests.size(), 3u);  // segment 2 as soon as segment 1 sounds
  for (size_t i = 2; i < segments.size(); ++i) {
    rig.end(i - 1);  // the segment ends before its successor arrived
    EXPECT_EQ(rig.clips->played.size(), i);
    rig.answer(i, "clip" + std::to_string(i));
    EXPECT_EQ(rig.clips->played.size(), i + 1);
  }
  rig.end(segments.size() - 1);
  EXPECT_EQ(rig.listener->events.back(), "finish " + text.substr(0, 3));
  EXPECT_EQ(rig.listener->events.size(), 2u);
}

TEST(CloudVoiceSpeakerTest, EmptyTextFinishesOnALaterTurnWithoutStarting) {
  SpeakerRig rig;
  auto utterance = std::make_shared<VoiceUtterance>();
  utterance->text = " \n ";
  rig.speaker->speak(utterance, false);
  EXPECT_TRUE(rig.listener->events.empty());
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.listener->events, std::vector<std::string>{"finish  \n "});
  EXPECT_TRUE(rig.transport->requests.empty());
}

TEST(CloudVoiceSpeakerTest, StoppingCancelsTheRequestAndReportsCancelLater) {
  SpeakerRig rig;
  EXPECT_FALSE(rig.speaker->stopSpeaking(VoiceSpeechBoundary::word));
  rig.loop.runUntilIdle();
  EXPECT_TRUE(rig.listener->events.empty());

  rig.say("你好世界");
  EXPECT_TRUE(rig.speaker->stopSpeaking(VoiceSpeechBoundary::word));
  EXPECT_TRUE(rig.transport->requests[0].handle->isCancelled());
  EXPECT_TRUE(rig.listener->events.empty());
  rig.loop.runUntilIdle();
  rig.answer(0, "late");  // ignored
  EXPECT_EQ(rig.listener->events, std::vector<std::string>{"cancel 你"});
  EXPECT_TRUE(rig.clips->played.empty());
}

TEST(CloudVoiceSpeakerTest, FailuresEndTheUtteranceAtOnce) {
  SpeakerRig ahead;
  ahead.say(sentences(10));
  ahead.answer(0, "clip0");
  ahead.fail(1, "network");
  EXPECT_TRUE(ahead.clips->played[0]->stopped);
  EXPECT_EQ(ahead.listener->events.back(), "fail 今 network");
  ahead.end(0);  // the cut-off clip's end says nothing
  EXPECT_EQ(ahead.listener->events.size(), 2u);

  SpeakerRig undecodable;
  undecodable.say("你好");
  undecodable.answer(0, "garbage");
  EXPECT_EQ(undecodable.listener->events, std::vector<std::string>{"fail 你 speak-failed"});

  SpeakerRig signedOut;
  signedOut.say("你好");
  signedOut.fail(0, "signed-out");
  EXPECT_EQ(signedOut.listener->events, std::vector<std::string>{"fail 你 signed-out"});
}

TEST(CloudVoiceSpeakerTest, ANewUtteranceSilencesTheOldOneForGood) {
  SpeakerRig rig;
  rig.say("第一句话");
  rig.answer(0, "clip0");
  rig.say("第二句话");
  EXPECT_TRUE(rig.clips->played[0]->stopped);
  rig.end(0);
  rig.answer(1, "clip-new");
  rig.end(1);
  EXPECT_EQ(rig.listener->events, (std::vector<std::string>{"start 第", "start 第", "finish 第"}));
}

}  // namespace
}  // namespace tovarin
