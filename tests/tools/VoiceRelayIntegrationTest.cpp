#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <numbers>

#include "base/BeastHttpClient.h"
#include "base/BeastWebSocketClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "main/voice/RelayVoiceCloudTransport.h"
#include "main/voice/VoicePCMConverter.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

const std::string kScript = std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs";

class Updates {
 public:
  std::function<void(VoiceCloudUpdate)> callback() {
    return [this](VoiceCloudUpdate update) {
      std::lock_guard lock(mutex_);
      updates_.push_back(std::move(update));
      changed_.notify_all();
    };
  }
  // Waits for a final or failed update: the session's last word.
  std::vector<VoiceCloudUpdate> untilDone(double seconds = 20) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
      return !updates_.empty() && (std::holds_alternative<VoiceCloudUpdate::Final>(updates_.back().value) ||
                                   std::holds_alternative<VoiceCloudUpdate::Failed>(updates_.back().value));
    });
    return updates_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<VoiceCloudUpdate> updates_;
};

// The stand-in server's voice relay, driven by the program's own relay client.
class VoiceRelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ChildProcessOptions options;
    options.executable = "/usr/bin/node";
    options.arguments = {kScript, "--port", std::to_string(port_)};
    options.environment = {"PATH=/usr/bin:/bin"};
    options.inheritStdin = false;
    auto launched = ChildProcess::launch(options);
    ASSERT_NE(launched.process, nullptr) << launched.error;
    server_ = launched.process;
    ASSERT_TRUE(loop_.waitFor([&] { return LocalPorts::accepts(port_); }, 20));
  }
  void TearDown() override {
    if (server_ && server_->isRunning()) server_->signal(SIGKILL);
  }

  Json control(const Json& settings) {
    HttpRequest request{.method = "POST", .url = base() + "/__test/voice", .headers = {{"Content-Type", "application/json"}},
                        .body = toJsonText(settings), .timeoutSeconds = 10};
    std::optional<HttpResponse> response;
    http_.send(request, loop_, [&](HttpResponse answer) { response = std::move(answer); });
    EXPECT_TRUE(loop_.waitFor([&] { return response.has_value(); }, 15));
    return parseJson(response.value_or(HttpResponse{}).body).value_or(Json());
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  std::optional<VoiceCloudStatus> refresh() {
    std::promise<std::optional<VoiceCloudStatus>> answer;
    transport_->refreshStatus([&](std::optional<VoiceCloudStatus> status) { answer.set_value(std::move(status)); });
    auto future = answer.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return future.get();
  }

  // Seconds of a 48 kHz stereo tone (or silence), converted as the microphone's would be.
  static std::string microphonePcm(double seconds, double amplitude) {
    VoicePCMConverter converter;
    std::string pcm;
    const size_t frames = static_cast<size_t>(48000 * seconds);
    for (size_t start = 0; start < frames; start += 1024) {
      VoiceAudioBuffer buffer{48000, 2, {}};
      for (size_t i = start; i < std::min(frames, start + 1024); ++i) {
        const float value = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 440 * i / 48000.0));
        buffer.samples.insert(buffer.samples.end(), {value, value});
      }
      pcm += converter.convert(buffer);
    }
    pcm += converter.flush();
    return pcm;
  }

  std::vector<VoiceCloudUpdate> dictate(const std::string& locale, const std::string& pcm) {
    Updates updates;
    auto session = transport_->open(locale, updates.callback());
    // Sent in microphone-sized pieces, as the engine does.
    for (size_t offset = 0; offset < pcm.size(); offset += 2730) session->send(pcm.substr(offset, 2730));
    session->finish();
    return updates.untilDone();
  }

  uint16_t port_ = LocalPorts::unused();
  ManualLoop loop_;
  BeastHttpClient http_;
  BeastWebSocketClient sockets_;
  std::shared_ptr<ChildProcess> server_;
  std::shared_ptr<RelayVoiceCloudTransport> transport_ = std::make_shared<RelayVoiceCloudTransport>(
      RelayVoiceCloudTransport::Routes::localServer(), http_, sockets_,
      [this] { return std::optional<VoiceCloudTarget>(VoiceCloudTarget{base(), {}}); });
};

TEST_F(VoiceRelayTest, StatusInEachMode) {
  auto ok = refresh();
  ASSERT_TRUE(ok);
  EXPECT_TRUE(ok->available && ok->ttsAvailable && ok->speakAvailable && ok->noticeAccepted);
  EXPECT_EQ(ok->reason, std::nullopt);
  EXPECT_EQ(ok->speakVoices.size(), 2u);
  EXPECT_EQ(ok->speakDefault, 601000);

  control({{"mode", "daily-limit"}});
  auto limited = refresh();
  ASSERT_TRUE(limited);
  EXPECT_FALSE(limited->available || limited->ttsAvailable || limited->speakAvailable);
  EXPECT_EQ(limited->reason, "daily-limit");

  control({{"mode", "unconfigured"}});
  EXPECT_EQ(refresh(), VoiceCloudStatus::unconfigured);
  control({{"mode", "signed-out"}});
  EXPECT_EQ(refresh(), VoiceCloudStatus::signedOut);
}

TEST_F(VoiceRelayTest, SynthesisGivesAWaveFileOrTheModesCode) {
  std::promise<VoiceSynthesisResult> answer;
  auto handle = transport_->synthesize("你好，世界。", 1.0, "zh-CN", [&](VoiceSynthesisResult result) { answer.set_value(result); });
  auto result = answer.get_future().get();
  ASSERT_TRUE(result.ok()) << result.failure->code;
  ASSERT_GT(result.audio.size(), 1000u);
  EXPECT_EQ(result.audio.substr(0, 4), "RIFF");
  EXPECT_EQ(result.audio.substr(8, 4), "WAVE");

  for (const auto& [mode, code] : {std::pair{"daily-limit", "daily-limit"}, std::pair{"unconfigured", "cloud-unconfigured"},
                                   std::pair{"signed-out", "signed-out"}}) {
    control({{"mode", mode}});
    std::promise<VoiceSynthesisResult> refused;
    auto again = transport_->synthesize("你好", 1.0, "zh-CN", [&](VoiceSynthesisResult r) { refused.set_value(r); });
    EXPECT_EQ(refused.get_future().get().failure, VoiceFailure(code)) << mode;
  }
}

TEST_F(VoiceRelayTest, DictationAnswersWithWhatItHeard) {
  const auto updates = dictate("zh-CN", microphonePcm(2.5, 0.4));
  EXPECT_EQ(updates, (std::vector<VoiceCloudUpdate>{VoiceCloudUpdate::Ready{},
                                                    VoiceCloudUpdate::Partial{"听到了1.0秒的声音"},
                                                    VoiceCloudUpdate::Partial{"听到了2.0秒的声音"},
                                                    VoiceCloudUpdate::Final{"听到了2.5秒的声音", "end"}}));
  const Json state = control(Json::object());
  ASSERT_EQ(state["asrSessions"].size(), 1u);
  const Json& chunks = state["asrSessions"][0]["chunks"];
  // 2.5 s is 80,000 bytes: whole 3,200-byte chunks, only the last may be shorter.
  ASSERT_EQ(chunks.size(), 25u);
  for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], 3200) << i;
  EXPECT_GT(chunks.back().get<int>(), 3200 - 16);
  EXPECT_LE(chunks.back().get<int>(), 3200);
  EXPECT_EQ(state["asrSessions"][0]["messages"], Json::array({R"({"type":"end"})"}));

  const auto english = dictate("en-US", microphonePcm(0.5, 0.4));
  EXPECT_EQ(english.back(), VoiceCloudUpdate(VoiceCloudUpdate::Final{"heard 0.5 seconds of sound", "end"}));
  const auto silence = dictate("zh-CN", microphonePcm(0.5, 0.0));
  EXPECT_EQ(silence.back(), VoiceCloudUpdate(VoiceCloudUpdate::Final{"", "silence"}));
}

TEST_F(VoiceRelayTest, DictationFailuresTheRelayCanBeToldToGive) {
  struct Case {
    Json settings;
    VoiceCloudUpdate::Failed failure;
  };
  const Case cases[] = {
      {{{"asrError", "daily-limit"}}, {"daily-limit", "今天的云端语音额度已经用完，明天再试。"}},
      {{{"asrError", "bad-audio"}}, {"bad-audio", "声音无法识别，请再说一次。"}},
      {{{"asrError", nullptr}, {"asrRefuse", 429}}, {"cloud-busy", std::nullopt}},
      {{{"asrRefuse", 503}}, {"cloud-unavailable", std::nullopt}},
      {{{"asrRefuse", 0}, {"mode", "unconfigured"}}, {"cloud-unconfigured", std::nullopt}},
      {{{"mode", "signed-out"}}, {"signed-out", std::nullopt}},
  };
  for (const auto& c : cases) {
    control(c.settings);
    const auto updates = dictate("zh-CN", microphonePcm(0.3, 0.4));
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back(), VoiceCloudUpdate(c.failure)) << c.settings.dump();
  }
}

TEST_F(VoiceRelayTest, StreamedSpeechGivesPcmThenDone) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<VoiceSpeakUpdate> updates;
  auto session = transport_->openSpeak(601001, 1.0, [&](VoiceSpeakUpdate update) {
    std::lock_guard lock(mutex);
    updates.push_back(std::move(update));
    changed.notify_all();
  });
  ASSERT_NE(session, nullptr);
  session->send("你好。");
  session->send("再见。");
  session->end();
  std::unique_lock lock(mutex);
  ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] {
    return !updates.empty() && !std::holds_alternative<VoiceSpeakUpdate::Audio>(updates.back().value) &&
           !std::holds_alternative<VoiceSpeakUpdate::Ready>(updates.back().value);
  }));
  ASSERT_GE(updates.size(), 3u);
  EXPECT_EQ(updates.front(), VoiceSpeakUpdate(VoiceSpeakUpdate::Ready{}));
  EXPECT_EQ(updates.back(), VoiceSpeakUpdate(VoiceSpeakUpdate::Done{6, "end"}));
  size_t audio = 0;
  for (size_t i = 1; i + 1 < updates.size(); ++i) {
    ASSERT_TRUE(std::holds_alternative<VoiceSpeakUpdate::Audio>(updates[i].value));
    audio += std::get<VoiceSpeakUpdate::Audio>(updates[i].value).pcm.size();
  }
  EXPECT_GT(audio, 16000u);  // more than half a second of 16 kHz speech
  lock.unlock();
  const Json state = control(Json::object());
  ASSERT_EQ(state["speakSessions"].size(), 1u);
  EXPECT_EQ(state["speakSessions"][0]["start"], (Json{{"voice", 601001}, {"rate", 1.0}}));
  EXPECT_EQ(state["speakSessions"][0]["texts"], (Json{"你好。", "再见。"}));
}

TEST_F(VoiceRelayTest, StreamedSpeechFailureTheRelayCanBeToldToGive) {
  control({{"speakError", "daily-limit"}});
  std::promise<VoiceSpeakUpdate> last;
  auto session = transport_->openSpeak(601000, 1.0, [&](VoiceSpeakUpdate update) {
    if (std::holds_alternative<VoiceSpeakUpdate::Failed>(update.value)) last.set_value(update);
  });
  ASSERT_NE(session, nullptr);
  auto future = last.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(future.get(), VoiceSpeakUpdate(VoiceSpeakUpdate::Failed{"daily-limit", "今天的云端语音额度已经用完，明天再试。"}));
}

}  // namespace
}  // namespace tovarin
