#include "platform/linux/SndfileClipPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>

#include "tests/support/ManualLoop.h"
#include "tests/support/PrivatePulse.h"

namespace tovarin {
namespace {

using Clock = std::chrono::steady_clock;

void putLittle(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// A 16-bit PCM WAV file of a square tone.
std::string wav(int rate, int channels, double seconds) {
  const uint32_t frames = static_cast<uint32_t>(rate * seconds);
  const uint32_t dataBytes = frames * static_cast<uint32_t>(channels) * 2;
  std::string out = "RIFF";
  putLittle(out, 36 + dataBytes, 4);
  out += "WAVEfmt ";
  putLittle(out, 16, 4);
  putLittle(out, 1, 2);
  putLittle(out, static_cast<uint32_t>(channels), 2);
  putLittle(out, static_cast<uint32_t>(rate), 4);
  putLittle(out, static_cast<uint32_t>(rate * channels * 2), 4);
  putLittle(out, static_cast<uint32_t>(channels * 2), 2);
  putLittle(out, 16, 2);
  out += "data";
  putLittle(out, dataBytes, 4);
  for (uint32_t i = 0; i < frames * static_cast<uint32_t>(channels); ++i) putLittle(out, (i / 50) % 2 ? 6000 : 0xe890, 2);
  return out;
}

class SndfileClipPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pulse_.server().empty()) << pulse_.error(); }
  ManualLoop loop_;
  PrivatePulse pulse_;
};

TEST_F(SndfileClipPlayerTest, AClipEndsOnceItHasPlayed) {
  SndfileClipPlayer player(loop_, pulse_.server());
  bool ended = false;
  const auto begun = Clock::now();
  auto clip = player.play(wav(22050, 2, 0.8), [&] { ended = true; });
  ASSERT_TRUE(loop_.waitFor([&] { return ended; }, 10));
  EXPECT_GE(std::chrono::duration<double>(Clock::now() - begun).count(), 0.7);
}

TEST_F(SndfileClipPlayerTest, ClipsWithoutSoundOrWithAFewFramesASecondStillEnd) {
  struct Case {
    int rate;
    int channels;
    double seconds;
  };
  for (const Case& c : {Case{22050, 2, 0.0}, Case{16000, 1, 0.0}, Case{8, 1, 2.0}, Case{5, 2, 1.0}}) {
    SndfileClipPlayer player(loop_, pulse_.server());
    auto ended = std::make_shared<bool>(false);
    auto clip = player.play(wav(c.rate, c.channels, c.seconds), [ended] { *ended = true; });
    EXPECT_TRUE(loop_.waitFor([&] { return *ended; }, 20)) << c.rate << " Hz, " << c.seconds << " s";
  }
}

TEST_F(SndfileClipPlayerTest, AStoppedClipNeverEnds) {
  SndfileClipPlayer player(loop_, pulse_.server());
  bool ended = false;
  auto clip = player.play(wav(16000, 1, 30.0), [&] { ended = true; });
  ASSERT_TRUE(loop_.waitFor([&] { return !pulse_.list("sink-inputs").empty(); }, 5));
  // The test's null sink holds each new stream's first writes for about two seconds;
  // stop once the audio is really flowing.
  loop_.waitFor([] { return false; }, 2.5);
  clip->stop();
  const auto stopping = Clock::now();
  clip.reset();
  // Not a speed bound: a stop that waited for the rest of the clip would take 25 s.
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopping).count(), 15);
  loop_.waitFor([&] { return ended; }, 5);
  EXPECT_FALSE(ended);
}

TEST_F(SndfileClipPlayerTest, UndecodableAudioIsRefused) {
  SndfileClipPlayer player(loop_, pulse_.server());
  for (const std::string& audio : {std::string(), std::string("not audio at all"), wav(16000, 1, 0.5).substr(0, 20)}) {
    EXPECT_EQ(player.play(audio, [] {}), nullptr) << audio.size() << " bytes";
  }
}

}  // namespace
}  // namespace tovarin
