#include "platform/linux/EspeakVoiceSpeaker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "tests/support/ManualLoop.h"
#include "tests/support/PrivatePulse.h"

namespace tovarin {
namespace {

// Records what the speaker reported, checking that it came on the main loop.
class Recorder final : public VoiceSpeakerListener {
 public:
  explicit Recorder(ManualLoop& loop) : loop_(loop) {}
  void speakerDidStart(const Utterance& utterance) override { add("start", utterance); }
  void speakerDidFinish(const Utterance& utterance) override { add("finish", utterance); }
  void speakerDidCancel(const Utterance& utterance) override { add("cancel", utterance); }
  void speakerDidFail(const Utterance& utterance, const std::string& code) override { add("fail " + code, utterance); }

  std::vector<std::pair<std::string, const VoiceUtterance*>> events;
  bool offMainLoop = false;

 private:
  void add(std::string what, const Utterance& utterance) {
    offMainLoop |= !loop_.isMainThread();
    events.emplace_back(std::move(what), utterance.get());
  }
  ManualLoop& loop_;
};

std::shared_ptr<const VoiceUtterance> utterance(std::string text, double rate = VoiceUtterance::defaultRate) {
  auto made = std::make_shared<VoiceUtterance>();
  made->text = std::move(text);
  made->rate = rate;
  return made;
}

VoiceUtterance inLanguage(std::string language, std::string voice = {}) {
  VoiceUtterance made;
  made.language = std::move(language);
  made.voice = std::move(voice);
  return made;
}

class EspeakVoiceSpeakerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pulse_.server().empty()) << pulse_.error();
    speaker_ = EspeakVoiceSpeaker::create(loop_, pulse_.server());
    speaker_->setListener(recorder_);
  }
  bool waitForEvents(size_t count, double seconds = 60) {
    return loop_.waitFor([&] { return recorder_->events.size() >= count; }, seconds);
  }
  std::vector<std::string> kinds() const {
    std::vector<std::string> kinds;
    for (const auto& [kind, which] : recorder_->events) kinds.push_back(kind);
    return kinds;
  }

  ManualLoop loop_;
  PrivatePulse pulse_;
  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>(loop_);
  std::shared_ptr<EspeakVoiceSpeaker> speaker_;
};

TEST_F(EspeakVoiceSpeakerTest, SpeaksChineseAndReportsStartThenFinishOnTheMainLoop) {
  auto hello = utterance("你好，世界。", 1.0);
  speaker_->speak(hello, false);
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"start", "finish"}));
  EXPECT_EQ(recorder_->events[0].second, hello.get());
  EXPECT_EQ(recorder_->events[1].second, hello.get());
  EXPECT_FALSE(recorder_->offMainLoop);
  EXPECT_FALSE(speaker_->stopSpeaking(VoiceSpeechBoundary::immediate));  // nothing left to stop
}

TEST_F(EspeakVoiceSpeakerTest, StopCutsTheUtteranceAndDropsTheQueuedOnes) {
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += "这是一段很长的文字，用来测试中途停止朗读。";
  auto first = utterance(longText, 0.0);
  auto queued = utterance("不会读到这里。");
  speaker_->speak(first, false);
  speaker_->speak(queued, false);
  ASSERT_TRUE(waitForEvents(1));
  ASSERT_EQ(kinds(), (std::vector<std::string>{"start"}));

  const auto stopAt = std::chrono::steady_clock::now();
  EXPECT_TRUE(speaker_->stopSpeaking(VoiceSpeechBoundary::word));
  ASSERT_TRUE(waitForEvents(3));
  // Minutes of speech end within a moment.
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(5));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"start", "cancel", "cancel"}));
  EXPECT_EQ(recorder_->events[1].second, first.get());
  EXPECT_EQ(recorder_->events[2].second, queued.get());
  EXPECT_FALSE(recorder_->offMainLoop);
}

TEST_F(EspeakVoiceSpeakerTest, UtterancesAreSpokenInTurn) {
  auto one = utterance("一。", 1.0);
  auto two = utterance("二。", 1.0);
  speaker_->speak(one, false);
  speaker_->speak(two, true);
  ASSERT_TRUE(waitForEvents(4));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"start", "finish", "start", "finish"}));
  EXPECT_EQ(recorder_->events[1].second, one.get());
  EXPECT_EQ(recorder_->events[2].second, two.get());
}

TEST_F(EspeakVoiceSpeakerTest, WithoutASoundServerSpeakingFails) {
  auto speaker = EspeakVoiceSpeaker::create(loop_, pulse_.server() + ".absent");
  speaker->setListener(recorder_);
  speaker->speak(utterance("你好"), false);
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"fail speak-failed"}));
}

TEST(EspeakVoiceSpeakerRulesTest, RateScaleToWordsPerMinute) {
  const std::pair<double, int> cases[] = {{0.0, 80},    {0.25, 128},  {0.5, 175}, {0.75, 313},
                                          {1.0, 450},   {-1.0, 80},   {7.0, 450}, {std::nan(""), 175}};
  for (const auto& [rate, wpm] : cases) EXPECT_EQ(EspeakVoiceSpeaker::wordsPerMinute(rate), wpm) << rate;
}

TEST(EspeakVoiceSpeakerRulesTest, VoiceByLanguage) {
  const std::pair<VoiceUtterance, std::string> cases[] = {
      {inLanguage("zh-CN"), "cmn"},  {inLanguage("zh-TW"), "cmn"},   {inLanguage("ZH"), "cmn"},
      {inLanguage(""), "cmn"},       {inLanguage("en-US"), "en-us"}, {inLanguage("en_GB"), "en-gb"},
      {inLanguage("yue-HK"), "yue"}, {inLanguage("zh-CN", "en"), "en"},
  };
  for (const auto& [utterance, voice] : cases) {
    EXPECT_EQ(EspeakVoiceSpeaker::voiceName(utterance), voice) << utterance.language;
  }
}

}  // namespace
}  // namespace tovarin
