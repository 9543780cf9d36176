#include "platform/linux/SndfileClipPlayer.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/linux/PulsePcmOutput.h"

namespace tovarin {
namespace {

// libsndfile reads the clip straight from memory.
struct MemoryFile {
  const std::string& bytes;
  sf_count_t position = 0;
};

sf_count_t memoryLength(void* data) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(data)->bytes.size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* data) {
  auto* file = static_cast<MemoryFile*>(data);
  const auto size = static_cast<sf_count_t>(file->bytes.size());
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = file->position + offset;
  if (whence == SEEK_END) target = size + offset;
  file->position = std::clamp<sf_count_t>(target, 0, size);
  return file->position;
}

sf_count_t memoryRead(void* buffer, sf_count_t count, void* data) {
  auto* file = static_cast<MemoryFile*>(data);
  const auto size = static_cast<sf_count_t>(file->bytes.size());
  const sf_count_t taken = std::max<sf_count_t>(0, std::min(count, size - file->position));
  std::memcpy(buffer, file->bytes.data() + file->position, static_cast<size_t>(taken));
  file->position += taken;
  return taken;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* data) { return static_cast<MemoryFile*>(data)->position; }

struct Decoded {
  int rate = 0;
  int channels = 0;
  std::string pcm;  // 16-bit little-endian, interleaved
};

// Nothing when the data is no sound libsndfile can read.
std::optional<Decoded> decode(const std::string& audio) {
  SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
  MemoryFile file{audio};
  SF_INFO info{};
  SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, &file);
  if (!sound) return std::nullopt;
  Decoded decoded;
  decoded.rate = info.samplerate;
  decoded.channels = info.channels;
  std::vector<short> block(4096 * static_cast<size_t>(std::max(1, info.channels)));
  for (;;) {
    const sf_count_t items = sf_read_short(sound, block.data(), static_cast<sf_count_t>(block.size()));
    if (items <= 0) break;
    for (sf_count_t i = 0; i < items; ++i) {
      const auto sample = static_cast<uint16_t>(block[static_cast<size_t>(i)]);
      decoded.pcm += static_cast<char>(sample & 0xff);
      decoded.pcm += static_cast<char>(sample >> 8);
    }
  }
  sf_close(sound);
  if (decoded.rate <= 0 || decoded.channels <= 0 || decoded.channels > 8) return std::nullopt;
  return decoded;
}

class PulseClip final : public VoiceClip {
 public:
  explicit PulseClip(std::unique_ptr<PulsePcmOutput> output) : output_(std::move(output)) {}
  void stop() override { output_->stop(); }
  PulsePcmOutput& output() { return *output_; }

 private:
  std::unique_ptr<PulsePcmOutput> output_;
};

}  // namespace

std::shared_ptr<VoiceClip> SndfileClipPlayer::play(const std::string& audio, std::function<void()> ended) {
  auto decoded = decode(audio);
  if (!decoded) return nullptr;
  auto clip = std::make_shared<PulseClip>(
      std::make_unique<PulsePcmOutput>(loop_, decoded->rate, decoded->channels, server_, "read aloud"));
  if (clip->output().start()) return nullptr;
  clip->output().write(std::move(decoded->pcm));
  clip->output().drain(std::move(ended));
  return clip;
}

}  // namespace tovarin
