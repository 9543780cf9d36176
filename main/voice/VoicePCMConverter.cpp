#include "main/voice/VoicePCMConverter.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <soxr.h>

namespace tovarin {

struct VoicePCMConverter::Resampler {
  soxr_t soxr = nullptr;
  ~Resampler() {
    if (soxr) soxr_delete(soxr);
  }
};

namespace {

constexpr size_t kSlackFrames = 64;
constexpr size_t kFlushFrames = 4096;

std::vector<float> mixedToMono(const VoiceAudioBuffer& buffer) {
  const size_t frames = buffer.frames();
  std::vector<float> mono(frames);
  const float scale = 1.0f / static_cast<float>(buffer.channels);
  for (size_t frame = 0; frame < frames; ++frame) {
    float sum = 0;
    for (uint32_t channel = 0; channel < buffer.channels; ++channel) sum += buffer.samples[frame * buffer.channels + channel];
    mono[frame] = sum * scale;
  }
  return mono;
}

std::string asBytes(const std::vector<int16_t>& samples, size_t count) {
  std::string bytes(count * sizeof(int16_t), '\0');
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

}  // namespace

VoicePCMConverter::VoicePCMConverter() = default;
VoicePCMConverter::~VoicePCMConverter() = default;

std::string VoicePCMConverter::convert(const VoiceAudioBuffer& buffer) {
  if (buffer.sampleRate <= 0 || buffer.channels == 0) return {};
  // The resampler reads no input as the end of the stream; an empty buffer is only a
  // pause in it, so it reaches neither the resampler nor its format.
  if (buffer.frames() == 0) return {};
  if (!resampler_ || !inputFormat_ || !inputFormat_->sameFormat(buffer)) {
    resampler_.reset();
    inputFormat_ = VoiceAudioBuffer{buffer.sampleRate, buffer.channels, {}};
    soxr_error_t error = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_t soxr = soxr_create(buffer.sampleRate, outputRate, 1, &error, &io, &quality, nullptr);
    if (error || !soxr) return {};
    resampler_ = std::make_unique<Resampler>();
    resampler_->soxr = soxr;
  }
  const std::vector<float> mono = mixedToMono(buffer);
  const size_t capacity =
      static_cast<size_t>(static_cast<uint32_t>(outputRate * static_cast<double>(mono.size()) / buffer.sampleRate)) +
      kSlackFrames;
  std::vector<int16_t> out(capacity);
  std::string result;
  size_t offset = 0;
  // The slack almost always takes everything at once; the loop covers a resampler that
  // still leaves input behind.
  do {
    size_t used = 0, produced = 0;
    if (soxr_process(resampler_->soxr, mono.data() + offset, mono.size() - offset, &used, out.data(), out.size(),
                     &produced)) {
      return {};
    }
    result += asBytes(out, produced);
    offset += used;
    if (used == 0 && produced == 0) break;
  } while (offset < mono.size());
  return result;
}

std::string VoicePCMConverter::flush() {
  if (!resampler_) return {};
  std::string result;
  std::vector<int16_t> out(kFlushFrames);
  for (;;) {
    size_t produced = 0;
    if (soxr_process(resampler_->soxr, nullptr, 0, nullptr, out.data(), out.size(), &produced)) break;
    if (produced == 0) break;
    result += asBytes(out, produced);
  }
  return result;
}

}  // namespace tovarin
