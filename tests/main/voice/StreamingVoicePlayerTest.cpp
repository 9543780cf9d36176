#include "main/voice/StreamingVoicePlayer.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tovarin {
namespace {

// Keeps what was written; the test plays the device's part by answering drains.
struct FakeOutput final : VoicePcmOutput {
  struct Log {
    std::vector<std::string> writes;
    std::vector<std::function<void()>> drains;
    int stops = 0;
    bool failStart = false;
  };
  explicit FakeOutput(std::shared_ptr<Log> log) : log(std::move(log)) {}
  std::optional<VoiceFailure> start() override {
    if (log->failStart) return VoiceFailure("speak-failed", "no device");
    return std::nullopt;
  }
  void write(std::string pcm) override { log->writes.push_back(std::move(pcm)); }
  void drain(std::function<void()> played) override { log->drains.push_back(std::move(played)); }
  void stop() override { ++log->stops; }
  std::shared_ptr<Log> log;
};

struct PlayerRig {
  std::shared_ptr<FakeOutput::Log> log = std::make_shared<FakeOutput::Log>();
  std::shared_ptr<StreamingVoicePlayer> player =
      std::make_shared<StreamingVoicePlayer>(std::make_unique<FakeOutput>(log));
};

TEST(StreamingVoicePlayerTest, OddBytesWaitForTheNextPush) {
  PlayerRig rig;
  rig.player->push("ab");  // before start: dropped
  EXPECT_FALSE(rig.player->started());
  ASSERT_TRUE(rig.player->start());
  rig.player->push("abc");
  rig.player->push("d");
  rig.player->push("e");  // one byte alone makes no frame
  rig.player->push("fgh");
  EXPECT_EQ(rig.log->writes, (std::vector<std::string>{"ab", "cd", "efgh"}));
  EXPECT_TRUE(rig.player->started());
  rig.player->stop();
  rig.player->push("ij");
  EXPECT_EQ(rig.log->writes.size(), 3u);
}

TEST(StreamingVoicePlayerTest, FinishRunsOnceTheDeviceHasPlayedEverything) {
  PlayerRig idle;
  ASSERT_TRUE(idle.player->start());
  int ran = 0;
  idle.player->finish([&] { ++ran; });
  EXPECT_EQ(ran, 1);  // nothing was pushed: at once
  EXPECT_EQ(idle.log->stops, 1);

  PlayerRig twice;
  ASSERT_TRUE(twice.player->start());
  twice.player->push("abcd");
  int first = 0, second = 0;
  twice.player->finish([&] { ++first; });
  twice.player->finish([&] { ++second; });
  EXPECT_EQ(second, 0);
  for (auto& played : twice.log->drains) played();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(twice.log->stops, 1);

  PlayerRig stopped;
  ASSERT_TRUE(stopped.player->start());
  stopped.player->push("abcd");
  int never = 0;
  stopped.player->finish([&] { ++never; });
  stopped.player->stop();
  for (auto& played : stopped.log->drains) played();
  EXPECT_EQ(never, 0);
}

TEST(StreamingVoicePlayerTest, AStartThatFailsSaysSoAndPlaysNothing) {
  PlayerRig rig;
  rig.log->failStart = true;
  EXPECT_FALSE(rig.player->start());
  rig.player->push("abcd");
  EXPECT_TRUE(rig.log->writes.empty());
}

}  // namespace
}  // namespace tovarin
