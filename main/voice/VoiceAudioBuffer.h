#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovarin {

// One run of captured audio: interleaved float samples at the device's own rate and
// channel count. Two buffers with the same rate and channels share a format.
struct VoiceAudioBuffer {
  double sampleRate = 0;
  uint32_t channels = 0;
  std::vector<float> samples;  // frames × channels, interleaved

  std::size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
  bool sameFormat(const VoiceAudioBuffer& other) const {
    return sampleRate == other.sampleRate && channels == other.channels;
  }
};

}  // namespace tovarin
