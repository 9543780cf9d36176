#include "platform/linux/PulsePcmOutput.h"

#include <gtest/gtest.h>

#include <chrono>

#include "main/voice/StreamingVoicePlayer.h"
#include "main/voice/VoiceFailure.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PrivatePulse.h"

namespace tovarin {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Half-scale 16 kHz mono samples, cut at odd byte counts as relay messages may be.
std::vector<std::string> oddPieces(double seconds) {
  std::string all;
  for (int i = 0; i < static_cast<int>(16000 * seconds); ++i) {
    const int16_t sample = static_cast<int16_t>((i % 40 < 20) ? 8000 : -8000);
    all += static_cast<char>(sample & 0xff);
    all += static_cast<char>((sample >> 8) & 0xff);
  }
  std::vector<std::string> pieces;
  for (size_t offset = 0; offset < all.size(); offset += 3201) pieces.push_back(all.substr(offset, 3201));
  return pieces;
}

class PulsePcmOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pulse_.server().empty()) << pulse_.error(); }
  std::shared_ptr<StreamingVoicePlayer> player() {
    return std::make_shared<StreamingVoicePlayer>(std::make_unique<PulsePcmOutput>(loop_, 16000, 1, pulse_.server()));
  }

  ManualLoop loop_;
  PrivatePulse pulse_;
};

TEST_F(PulsePcmOutputTest, FinishComesOnlyOnceTheSinkHasPlayedTheAudio) {
  auto streamed = player();
  ASSERT_TRUE(streamed->start());
  const auto begun = Clock::now();
  for (const auto& piece : oddPieces(1.0)) streamed->push(piece);
  EXPECT_TRUE(loop_.waitFor([&] { return !pulse_.list("sink-inputs").empty(); }, 5));
  bool finished = false;
  streamed->finish([&] { finished = true; });
  ASSERT_TRUE(loop_.waitFor([&] { return finished; }, 10));
  // The null sink plays in real time: a second of audio takes about a second.
  EXPECT_GE(secondsSince(begun), 0.85);
  EXPECT_TRUE(loop_.waitFor([&] { return pulse_.list("sink-inputs").empty(); }, 5));
}

TEST_F(PulsePcmOutputTest, StopSilencesLongAudioAtOnce) {
  auto streamed = player();
  ASSERT_TRUE(streamed->start());
  for (const auto& piece : oddPieces(20.0)) streamed->push(piece);
  ASSERT_TRUE(loop_.waitFor([&] { return !pulse_.list("sink-inputs").empty(); }, 5));
  // The test's null sink holds the very first write for about two seconds while it
  // starts; stop once the audio is really flowing.
  loop_.waitFor([] { return false; }, 2.5);
  bool finished = false;
  streamed->finish([&] { finished = true; });
  const auto stopping = Clock::now();
  streamed->stop();
  streamed.reset();  // ends the output, joining its thread
  // Not a speed bound: a stop that played out the rest would take about 17 s.
  EXPECT_LT(secondsSince(stopping), 10.0);
  EXPECT_TRUE(loop_.waitFor([&] { return pulse_.list("sink-inputs").empty(); }, 5));
  loop_.runUntilIdle();
  EXPECT_FALSE(finished);
}

TEST(PulsePcmOutputRulesTest, WithoutASoundServerStartFails) {
  ManualLoop loop;
  PulsePcmOutput output(loop, 16000, 1, "unix:/nonexistent/pulse/native");
  const auto failure = output.start();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, "speak-failed");
  EXPECT_TRUE(failure->message && !failure->message->empty());
  output.write("abcd");  // harmless when never started
  output.stop();
}

}  // namespace
}  // namespace tovarin
