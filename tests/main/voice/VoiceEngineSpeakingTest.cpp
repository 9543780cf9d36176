#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/main/voice/VoiceEngineFakes.h"

namespace tovarin {
namespace {

using namespace voicefakes;
using Event = VoiceEngineEvent;
using Events = std::vector<Event>;

TEST(VoiceEngineSpeakingTest, ThreeQuickRequestsHandOffOneAtATime) {
  Rig rig;
  rig.speak("1", "第一段");
  rig.system->started(0);
  rig.speak("2", "第二段");
  rig.speak("3", "第三段");
  // The playing one is stopped but keeps its place until its speaker reports the end.
  EXPECT_EQ(rig.system->spoken.size(), 1u);
  EXPECT_GE(rig.system->stops, 1);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakStarted{"1"}, Event::SpeakEnded{"2", true}}));
  rig.system->cancelled(0);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"1", true}}));
  ASSERT_EQ(rig.system->spoken.size(), 2u);
  EXPECT_EQ(rig.system->spoken[1]->text, "第三段");
  rig.system->started(1);
  rig.system->finished(1);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakStarted{"3"}, Event::SpeakEnded{"3", false}}));
}

TEST(VoiceEngineSpeakingTest, AStoppedJobThatFinishesNormallyStillEndsAsCancelled) {
  Rig rig;
  rig.speak("1", "一");
  rig.system->started(0);
  rig.engine->stopSpeaking();
  rig.run();
  rig.system->finished(0);
  rig.system->failed(0, "late");  // unknown by now: ignored
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakStarted{"1"}, Event::SpeakEnded{"1", true}}));
}

TEST(VoiceEngineSpeakingTest, WatchdogFailsAJobThatNeverStartedAndStopsItsSpeaker) {
  Rig rig;
  rig.speak("1", "一");
  rig.loop.advance(3.9);
  EXPECT_TRUE(rig.owner->events.empty());
  const int stopsBefore = rig.system->stops;
  rig.loop.advance(0.1);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakFailed{"1", "speak-failed", "这段话没能读出来。"}}));
  EXPECT_EQ(rig.system->stops, stopsBefore + 1);
  // The late start of the removed job says nothing.
  rig.system->started(0);
  rig.system->finished(0);
  EXPECT_TRUE(rig.owner->events.empty());
}

TEST(VoiceEngineSpeakingTest, WatchdogEndsACancelledJobAsCancelledAndHandsOverTheNext) {
  Rig rig;
  rig.speak("1", "一");
  rig.speak("2", "二");  // "1" is stale now and never reports
  rig.loop.advance(4.0);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"1", true}}));
  ASSERT_EQ(rig.system->spoken.size(), 2u);
  EXPECT_EQ(rig.system->spoken[1]->text, "二");
  rig.system->started(1);
  rig.loop.advance(100);  // a started job is left alone
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakStarted{"2"}}));
}

TEST(VoiceEngineSpeakingTest, CloudSpeakerGetsItsOwnGrace) {
  Rig rig;
  rig.voices = {{"en-us", "English", "en-us", {}}};
  rig.withCloud();
  rig.speak("1", "没有中文的系统声音");
  ASSERT_EQ(rig.cloudSpeaker->spoken.size(), 1u);
  EXPECT_TRUE(rig.system->spoken.empty());
  rig.loop.advance(14.9);
  EXPECT_TRUE(rig.owner->events.empty());
  rig.loop.advance(0.1);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakFailed{"1", "speak-failed", "这段话没能读出来。"}}));
  EXPECT_EQ(rig.cloudSpeaker->stops, 1);
}

TEST(VoiceEngineSpeakingTest, VoiceAndSpeakerChoice) {
  struct Case {
    const char* name;
    std::vector<SystemVoice> voices;
    std::optional<std::string> voiceID;
    std::string locale;
    bool cloud;
    std::optional<bool> tts;  // cached status; none: unknown
    bool viaCloud;
    std::string voice;
  };
  const std::vector<Case> cases = {
      {"asked voice installed", {{"a", "A", "zh-cn", {}}, {"b", "B", "en-us", {}}}, "b", "zh-CN", true, true, false, "b"},
      {"unknown id falls back to the locale", {{"a", "A", "zh-cn", {}}}, "nope", "zh-CN", true, true, false, "a"},
      {"same language, other region", {{"a", "A", "zh-tw", {"zh"}}}, std::nullopt, "zh-CN", false, std::nullopt, false, "a"},
      {"no Chinese voice, TTS allowed", {}, std::nullopt, "zh-CN", true, true, true, ""},
      {"no Chinese voice, status unknown", {}, std::nullopt, "zh-CN", true, std::nullopt, true, ""},
      {"no Chinese voice, TTS off", {}, std::nullopt, "zh-CN", true, false, false, ""},
      {"English without a voice stays on the system", {}, std::nullopt, "en-US", true, true, false, ""},
      {"no cloud", {}, std::nullopt, "zh-CN", false, std::nullopt, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.voices = c.voices;
    if (c.cloud) {
      std::optional<VoiceCloudStatus> status;
      if (c.tts) {
        status.emplace();
        status->ttsAvailable = *c.tts;
      }
      rig.withCloud(status);
    }
    rig.engine->speak("1", "文字", c.locale, c.voiceID, 1.0, rig.owner);
    rig.run();
    auto& speaker = c.viaCloud ? *rig.cloudSpeaker : *rig.system;
    ASSERT_EQ(speaker.spoken.size(), 1u);
    EXPECT_EQ(speaker.spoken[0]->voice, c.voice);
  }
}

TEST(VoiceEngineSpeakingTest, RatesAreClampedAndNaNIsSlowest) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(1.0), 0.5);
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(0.1), 0.125);
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(nan), 0.125);
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(-3), 0.125);
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(10), 1.0);  // 4.0 × 0.5 = 2, capped at the fastest
  EXPECT_DOUBLE_EQ(VoiceEngine::mapRate(1.5), 0.75);
  EXPECT_DOUBLE_EQ(VoiceEngine::clampStreamRate(0.1), 0.5);
  EXPECT_DOUBLE_EQ(VoiceEngine::clampStreamRate(10), 2.0);
  EXPECT_DOUBLE_EQ(VoiceEngine::clampStreamRate(nan), 0.5);
  EXPECT_DOUBLE_EQ(VoiceEngine::clampStreamRate(1.25), 1.25);
}

TEST(VoiceEngineSpeakingTest, EmptyTextLongTextAndDictationRefusal) {
  Rig rig;
  rig.speak("1", " \n\u3000");
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"1", false}}));
  EXPECT_TRUE(rig.system->spoken.empty());

  std::string longText;
  for (int i = 0; i < 20010; ++i) longText += "字";
  rig.speak("2", longText);
  ASSERT_EQ(rig.system->spoken.size(), 1u);
  EXPECT_EQ(rig.system->spoken[0]->text.size(), 20000u * 3);

  Rig listening;
  listening.withCloud();
  listening.listen("d");  // waiting for permission counts
  listening.speak("s", "读");
  listening.engine->startSpeakStream("t", std::nullopt, 1.0, listening.owner);
  listening.run();
  EXPECT_EQ(listening.owner->take(),
            (Events{Event::SpeakFailed{"s", "speak-failed", "正在听，说完再朗读。"},
                    Event::SpeakStreamFailed{"t", "speak-failed", "正在听，说完再朗读。", false}}));
}

TEST(VoiceEngineSpeakingTest, FailureTextsAndStaleFailures) {
  EXPECT_EQ(VoiceEngine::speakFailureText("signed-out"), "登录岚笺账号之后可以用云端朗读。");
  EXPECT_EQ(VoiceEngine::speakFailureText("daily-limit"), "今天的云端朗读用完了，明天再用。");
  EXPECT_EQ(VoiceEngine::speakFailureText("platform-limit"), "云端朗读今天暂停了，明天恢复。");
  EXPECT_EQ(VoiceEngine::speakFailureText("network"), "连不上岚笺的服务器，这段话没能读出来。");
  EXPECT_EQ(VoiceEngine::speakFailureText("anything"), "这段话没能读出来。");

  Rig rig;
  rig.speak("1", "一");
  rig.system->failed(0, "network");
  rig.speak("2", "二");
  rig.engine->stopSpeaking();
  rig.run();
  rig.system->failed(1, "network");
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakFailed{"1", "speak-failed", "连不上岚笺的服务器，这段话没能读出来。"},
                                       Event::SpeakEnded{"2", true}}));
}

TEST(VoiceEngineSpeakingTest, EventsOfAGoneOwnerGoToTheDictationOwner) {
  Rig rig;
  auto gone = std::make_shared<Client>();
  rig.speak("1", "一", "zh-CN", gone);
  rig.system->started(0);
  gone.reset();
  rig.withCloud();
  // A dictation cancels the speech; its end goes to the dictation's owner.
  rig.listen("d");
  rig.system->cancelled(0);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"1", true}}));
}

TEST(VoiceEngineSpeakingTest, AbandonStopsOnlyTheOwnersSpeech) {
  Rig rig;
  rig.withCloud();
  rig.engine->startSpeakStream("s", std::nullopt, 1.0, rig.other);
  rig.run();
  rig.engine->abandon(rig.other, "window-closed", true);
  rig.run();
  EXPECT_FALSE(rig.transport->speakSession->stopped);  // a stream alone is not abandoned

  rig.speak("1", "一", "zh-CN", rig.other);  // does not touch the stream
  EXPECT_FALSE(rig.transport->speakSession->stopped);
  rig.engine->abandon(rig.owner, "window-closed", true);
  rig.run();
  EXPECT_EQ(rig.system->stops, 0);
  rig.engine->abandon(rig.other, "window-closed", true);
  rig.run();
  EXPECT_EQ(rig.system->stops, 1);
  EXPECT_TRUE(rig.transport->speakSession->stopped);
  EXPECT_EQ(rig.other->take(), (Events{Event::SpeakEnded{"s", true}}));
}

struct StreamRig : Rig {
  explicit StreamRig(std::optional<VoiceCloudStatus> status = std::nullopt) { withCloud(std::move(status)); }
  void start(const std::string& id = "s", std::optional<int64_t> voice = std::nullopt, double rate = 1.0) {
    engine->startSpeakStream(id, voice, rate, owner);
    run();
  }
  void update(VoiceSpeakUpdate update) {
    transport->speakUpdate(std::move(update));
    run();
  }
};

TEST(VoiceEngineSpeakingTest, StreamEndsOnlyOnceThePlayerHasDrained) {
  StreamRig rig;
  rig.start();
  rig.engine->speakStreamText("s", std::string(5000, 'a'));
  rig.engine->speakStreamText("other", "ignored");
  rig.engine->endSpeakStream("other");
  rig.run();
  ASSERT_EQ(rig.transport->speakSession->texts.size(), 1u);
  EXPECT_EQ(rig.transport->speakSession->texts[0].size(), 4000u);
  EXPECT_FALSE(rig.transport->speakSession->ended);
  rig.update(VoiceSpeakUpdate::Ready{});
  rig.update(VoiceSpeakUpdate::Audio{"\x01\x02"});
  rig.update(VoiceSpeakUpdate::Audio{"\x03\x04"});
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakStarted{"s"}}));
  EXPECT_EQ(rig.players[0]->pushed.size(), 2u);
  rig.engine->endSpeakStream("s");
  rig.run();
  EXPECT_TRUE(rig.transport->speakSession->ended);
  rig.update(VoiceSpeakUpdate::Done{12, "final"});
  EXPECT_TRUE(rig.owner->events.empty());
  rig.players[0]->drained();
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"s", false}}));

  StreamRig stopped;
  stopped.start();
  stopped.update(VoiceSpeakUpdate::Done{0, "stopped"});
  stopped.players[0]->drained();
  EXPECT_EQ(stopped.owner->take(), (Events{Event::SpeakEnded{"s", true}}));
}

TEST(VoiceEngineSpeakingTest, StreamVoiceAndRateChoice) {
  VoiceCloudStatus status;
  status.speakVoices = {{101, "甲"}, {102, "乙"}};
  status.speakDefault = 102;
  StreamRig listed(status);
  listed.start("s", 101, 10);
  EXPECT_EQ(listed.transport->speakVoice, 101);
  EXPECT_DOUBLE_EQ(listed.transport->speakRate, 2.0);
  StreamRig unlisted(status);
  unlisted.start("s", 999, 0.1);
  EXPECT_EQ(unlisted.transport->speakVoice, 102);
  EXPECT_DOUBLE_EQ(unlisted.transport->speakRate, 0.5);
  StreamRig unknown;
  unknown.start("s", 101);
  EXPECT_EQ(unknown.transport->speakVoice, 601000);
}

TEST(VoiceEngineSpeakingTest, StreamFailures) {
  Rig noCloud;
  noCloud.engine->startSpeakStream("s", std::nullopt, 1.0, noCloud.owner);
  noCloud.run();
  EXPECT_EQ(noCloud.owner->take(),
            (Events{Event::SpeakStreamFailed{"s", "cloud-unconfigured", "这段话没能读出来。", false}}));

  StreamRig noPlayer;
  noPlayer.playerFailsStart = true;
  noPlayer.start();
  EXPECT_EQ(noPlayer.owner->take(), (Events{Event::SpeakStreamFailed{"s", "speak-failed", "这段话没能读出来。", false}}));

  StreamRig noSession;
  noSession.transport->canSpeak = false;
  noSession.start();
  EXPECT_TRUE(noSession.players[0]->stopped);
  EXPECT_EQ(noSession.owner->take(),
            (Events{Event::SpeakStreamFailed{"s", "signed-out", "登录岚笺账号之后可以用云端朗读。", false}}));

  StreamRig relay;
  relay.start();
  relay.update(VoiceSpeakUpdate::Audio{"ab"});
  relay.update(VoiceSpeakUpdate::Failed{"cloud-busy", std::nullopt});
  relay.update(VoiceSpeakUpdate::Audio{"cd"});  // after the end: dropped
  EXPECT_TRUE(relay.players[0]->stopped);
  EXPECT_EQ(relay.players[0]->pushed.size(), 1u);
  EXPECT_EQ(relay.owner->take(), (Events{Event::SpeakStarted{"s"},
                                         Event::SpeakStreamFailed{"s", "cloud-busy", "这段话没能读出来。", true}}));
}

TEST(VoiceEngineSpeakingTest, ANewStreamCancelsTheOldOneAndIgnoresItsLateUpdates) {
  StreamRig rig;
  rig.start("one");
  auto oldUpdate = rig.transport->speakUpdate;
  auto oldSession = rig.transport->speakSession;
  rig.transport->speakSession = std::make_shared<SpeakSession>();
  rig.start("two");
  EXPECT_TRUE(oldSession->stopped);
  EXPECT_TRUE(rig.players[0]->stopped);
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"one", true}}));
  oldUpdate(VoiceSpeakUpdate::Audio{"xy"});
  rig.run();
  EXPECT_TRUE(rig.owner->events.empty());
  EXPECT_TRUE(rig.players[1]->pushed.empty());
  rig.engine->stopSpeakStream("two");
  rig.run();
  EXPECT_EQ(rig.owner->take(), (Events{Event::SpeakEnded{"two", true}}));
}

TEST(VoiceEngineSpeakingTest, VoiceListIsPageReady) {
  Rig rig;
  rig.voices = {{"sit/cmn", "Chinese", "cmn", {"zh"}, "enhanced"}};
  EXPECT_EQ(rig.engine->voiceList(),
            Json::parse(R"([{"id":"sit/cmn","name":"Chinese","locale":"cmn","quality":"enhanced"}])"));
}

}  // namespace
}  // namespace tovarin
