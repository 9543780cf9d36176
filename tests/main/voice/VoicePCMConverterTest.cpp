#include "main/voice/VoicePCMConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace tovarin {
namespace {

// Stereo frames of a sine; the right channel is the left times rightGain.
VoiceAudioBuffer sine(double rate, double frequency, size_t firstFrame, size_t frames, float rightGain = 1.0f) {
  VoiceAudioBuffer buffer{rate, 2, {}};
  buffer.samples.reserve(frames * 2);
  for (size_t i = firstFrame; i < firstFrame + frames; ++i) {
    const float value = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
    buffer.samples.push_back(value);
    buffer.samples.push_back(value * rightGain);
  }
  return buffer;
}

std::vector<int16_t> samplesOf(const std::string& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// The power of one frequency in the samples (Goertzel), normalised by length.
double goertzel(const std::vector<int16_t>& samples, double frequency, double rate) {
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
  double previous = 0, beforePrevious = 0;
  for (int16_t sample : samples) {
    const double current = sample / 32768.0 + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const double power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
  return power / (static_cast<double>(samples.size()) * static_cast<double>(samples.size()));
}

std::string convertSeconds(VoicePCMConverter& converter, double rate, double frequency, double seconds,
                           size_t framesPerBuffer, float rightGain = 1.0f) {
  const size_t total = static_cast<size_t>(rate * seconds);
  std::string out;
  for (size_t frame = 0; frame < total; frame += framesPerBuffer) {
    out += converter.convert(sine(rate, frequency, frame, std::min(framesPerBuffer, total - frame), rightGain));
  }
  return out;
}

TEST(VoicePCMConverterTest, StereoAt48kBecomesMonoAt16kWithTheToneIntact) {
  VoicePCMConverter converter;
  std::string pcm = convertSeconds(converter, 48000, 1000, 2.0, 1024);
  pcm += converter.flush();
  const auto samples = samplesOf(pcm);
  EXPECT_EQ(pcm.size() % 2, 0u);
  EXPECT_NEAR(static_cast<double>(samples.size()), 32000.0, 4.0);

  const double tone = goertzel(samples, 1000, 16000);
  EXPECT_GT(tone, 0.05);  // a 0.5-amplitude sine gives about 0.0625
  for (double other : {300.0, 2000.0, 3000.0, 5000.0}) EXPECT_LT(goertzel(samples, other, 16000), tone / 1000) << other;
}

TEST(VoicePCMConverterTest, ChannelsAreAveraged) {
  VoicePCMConverter converter;
  // Right equals minus left: the average is silence, though each channel is loud.
  std::string pcm = convertSeconds(converter, 48000, 1000, 0.5, 960, -1.0f);
  pcm += converter.flush();
  ASSERT_FALSE(pcm.empty());
  for (int16_t sample : samplesOf(pcm)) ASSERT_LE(std::abs(sample), 1);
}

TEST(VoicePCMConverterTest, AFormatChangeStartsAFreshResampler) {
  VoicePCMConverter converter;
  std::string first = convertSeconds(converter, 48000, 440, 1.0, 4800);
  std::string second = convertSeconds(converter, 44100, 440, 1.0, 4410);
  second += converter.flush();
  // The first resampler's tail is dropped with it; the second gives its full second.
  EXPECT_NEAR(static_cast<double>(first.size() + second.size()) / 2, 32000.0, 800.0);
  EXPECT_NEAR(static_cast<double>(second.size()) / 2, 16000.0, 4.0);
  EXPECT_GT(goertzel(samplesOf(second), 440, 16000), 0.05);
}

TEST(VoicePCMConverterTest, FlushWithoutInputAndUnusableBuffersAreEmpty) {
  VoicePCMConverter converter;
  EXPECT_TRUE(converter.flush().empty());
  EXPECT_TRUE(converter.convert(VoiceAudioBuffer{0, 2, {0.1f, 0.1f}}).empty());
  EXPECT_TRUE(converter.convert(VoiceAudioBuffer{48000, 0, {}}).empty());
  EXPECT_TRUE(converter.flush().empty());
}

TEST(VoicePCMConverterTest, AnEmptyBufferGivesNothingAndTheNextBuffersConvertNormally) {
  // Empty first, between two buffers of sound, in a new format, and a lone channel
  // sample short of a frame: none of them ends the stream or crashes the resampler.
  VoicePCMConverter converter;
  std::string pcm = converter.convert(VoiceAudioBuffer{48000, 2, {}});
  EXPECT_TRUE(pcm.empty());
  pcm += convertSeconds(converter, 48000, 1000, 0.5, 960);
  EXPECT_TRUE(converter.convert(VoiceAudioBuffer{48000, 2, {}}).empty());
  EXPECT_TRUE(converter.convert(VoiceAudioBuffer{48000, 2, {0.1f}}).empty());
  EXPECT_TRUE(converter.convert(VoiceAudioBuffer{44100, 1, {}}).empty());
  pcm += converter.convert(sine(48000, 1000, 24000, 24000));
  pcm += converter.flush();
  EXPECT_NEAR(static_cast<double>(pcm.size()) / 2, 16000.0, 4.0);
  EXPECT_GT(goertzel(samplesOf(pcm), 1000, 16000), 0.05);
}

TEST(VoicePCMConverterTest, SixteenKilohertzMonoPassesThroughUnchangedInLength) {
  VoicePCMConverter converter;
  VoiceAudioBuffer mono{16000, 1, std::vector<float>(1600, 0.25f)};
  std::string pcm = converter.convert(mono);
  pcm += converter.flush();
  EXPECT_EQ(pcm.size(), 3200u);
  const auto samples = samplesOf(pcm);
  EXPECT_NEAR(samples[800], 8192, 2);  // 0.25 full scale, little-endian
}

}  // namespace
}  // namespace tovarin
