// Voice through the staged program on its own sound server: the stand-in pages post
// voice requests queued by the test and report every event they receive, so dictation,
// read-aloud, streamed speech and the release of a closed window are checked from the
// page's side, with the real microphone, espeak-ng and playback on a private PulseAudio.

#include <gtest/gtest.h>

#include "tests/main/app/StagedProgramFixture.h"
#include "tests/support/PrivatePulse.h"

namespace tovarin {
namespace {

class VoiceE2ETest : public StagedProgramFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StagedProgramFixture::SetUp());
    ASSERT_FALSE(pulse_.server().empty()) << pulse_.error();
    ASSERT_TRUE(pulse_.addSineSource("microphone", 48000, 1, 300));
    ASSERT_TRUE(pulse_.setDefaultSource("microphone"));
    staged_.addEnvironment("PULSE_SERVER=" + pulse_.server());
    staged_.addEnvironment("TOVARIN_TEST_VOICE_PAGE=1");
    program_ = start({});
    ASSERT_TRUE(program_);
    ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
    serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
    ASSERT_TRUE(eventually([&] { return pageLoads("main") >= 1 && pageLoads("widget") >= 1; }, 60))
        << readFile(logFile());
  }

  // Has the page post this body as if its own script did.
  void ask(const std::string& page, Json body) {
    body["protocol"] = 1;
    ASSERT_TRUE(staged_.post("/__test/voice-page/request", Json{{"page", page}, {"body", body}}));
  }
  // The first event of that type and id the page received, waiting for it.
  std::optional<Json> event(const std::string& page, const std::string& type, const std::string& id,
                            double seconds = 30) {
    std::optional<Json> found;
    eventually(
        [&] {
          auto events = get("/__test/voice-page/events");
          if (!events || !events->contains(page)) return false;
          for (const auto& payload : (*events)[page]) {
            if (payload.value("type", "") == type && payload.value("id", "") == id) {
              found = payload;
              return true;
            }
          }
          return false;
        },
        seconds);
    return found;
  }

  PrivatePulse pulse_;
};

TEST_F(VoiceE2ETest, DictationFromTheMicrophoneReachesThePageAsFinalText) {
  ask("main", {{"type", "capabilities"}, {"id", "caps"}});
  const auto ready = event("main", "ready", "caps");
  ASSERT_TRUE(ready) << readFile(logFile());
  EXPECT_EQ((*ready)["input"], true);
  EXPECT_EQ((*ready)["cloudFallback"], true);

  ask("main", {{"type", "listen.start"}, {"id", "d1"}, {"hold", true}});
  const auto listening = event("main", "listen.state", "d1");
  ASSERT_TRUE(listening) << readFile(logFile());
  EXPECT_EQ((*listening)["onDevice"], false);
  ASSERT_TRUE(event("main", "listen.partial", "d1")) << "a second of sound gives a partial";
  ask("main", {{"type", "listen.stop"}, {"id", "stop"}, {"target", "d1"}});
  const auto final = event("main", "listen.final", "d1");
  ASSERT_TRUE(final) << readFile(logFile());
  EXPECT_EQ((*final)["text"].get<std::string>().rfind("听到了", 0), 0u) << final->dump();
  EXPECT_TRUE(eventually([&] { return pulse_.list("source-outputs").empty(); }, 5)) << "the microphone is closed";
}

TEST_F(VoiceE2ETest, ReadAloudAndStreamedSpeechPlayToTheirEndFromBothWindows) {
  ask("widget", {{"type", "speak"}, {"id", "s1"}, {"text", "你好，今天天气很好。"}});
  ASSERT_TRUE(event("widget", "speak.start", "s1")) << readFile(logFile());
  const auto ended = event("widget", "speak.end", "s1");
  ASSERT_TRUE(ended) << readFile(logFile());
  EXPECT_EQ((*ended)["cancelled"], false);

  ask("main", {{"type", "speak.stream.start"}, {"id", "t"}, {"target", "t1"}});
  ask("main", {{"type", "speak.stream.text"}, {"id", "p1"}, {"target", "t1"}, {"text", "第一段话。"}});
  ask("main", {{"type", "speak.stream.text"}, {"id", "p2"}, {"target", "t1"}, {"text", "第二段话。"}});
  ask("main", {{"type", "speak.stream.end"}, {"id", "e"}, {"target", "t1"}});
  ASSERT_TRUE(event("main", "speak.start", "t1")) << readFile(logFile());
  const auto streamed = event("main", "speak.end", "t1");
  ASSERT_TRUE(streamed) << readFile(logFile());
  EXPECT_EQ((*streamed)["cancelled"], false);
}

TEST_F(VoiceE2ETest, ClosingTheMainWindowWhileSpeakingReleasesTheVoice) {
  std::string longText;
  for (int i = 0; i < 30; ++i) longText += "这是一段很长的朗读，用来确认关窗之后声音会停下来。";
  ask("main", {{"type", "speak"}, {"id", "long"}, {"text", longText}});
  ASSERT_TRUE(event("main", "speak.start", "long")) << readFile(logFile());
  ASSERT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "close-window"}), 0);
  const auto ended = event("main", "speak.end", "long", 15);
  ASSERT_TRUE(ended) << readFile(logFile());
  EXPECT_EQ((*ended)["cancelled"], true);
  EXPECT_TRUE(eventually([&] { return pulse_.list("sink-inputs").empty(); }, 5)) << "nothing sounds any more";
}

}  // namespace
}  // namespace tovarin
