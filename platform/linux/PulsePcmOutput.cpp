#include "platform/linux/PulsePcmOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceFailure.h"

namespace tovarin {

struct PulsePcmOutput::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Op> ops;     // mutex
  bool stopped = false;   // mutex
  pa_simple* stream = nullptr;  // the worker's from start on; it frees it when it ends
};

namespace {

// About 100 ms per write between checks for a stop, and at least one frame: a file may
// declare a rate of a few frames a second.
size_t chunkBytes(int sampleRate, int channels) {
  return static_cast<size_t>(std::max(sampleRate / 10, 1)) * 2 * static_cast<size_t>(channels);
}

}  // namespace

PulsePcmOutput::PulsePcmOutput(MainLoop& loop, int sampleRate, int channels, std::string server, std::string name)
    : loop_(loop), sampleRate_(sampleRate), channels_(channels), server_(std::move(server)), name_(std::move(name)) {}

PulsePcmOutput::~PulsePcmOutput() {
  stop();
  if (worker_.joinable()) worker_.join();
}

std::optional<VoiceFailure> PulsePcmOutput::start() {
  if (shared_) return std::nullopt;
  pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(sampleRate_), static_cast<uint8_t>(channels_)};
  // A short server buffer, 150 ms ahead of the device, and a small prebuffer. Without
  // one the device would run on through a pause in the stream and the bytes that came
  // after it would land behind the read position and be skipped; with it, a pause is
  // silence and playback resumes where the stream left off.
  const uint32_t target = static_cast<uint32_t>(pa_usec_to_bytes(150 * 1000, &spec));
  prebufferBytes_ = pa_usec_to_bytes(prebufferMicroseconds, &spec);
  pa_buffer_attr attributes{static_cast<uint32_t>(-1), target, static_cast<uint32_t>(prebufferBytes_),
                            static_cast<uint32_t>(-1), static_cast<uint32_t>(-1)};
  int error = 0;
  pa_simple* stream = pa_simple_new(server_.empty() ? nullptr : server_.c_str(), "TheTovarin", PA_STREAM_PLAYBACK,
                                    nullptr, name_.c_str(), &spec, nullptr, &attributes, &error);
  if (!stream) return VoiceFailure(std::string(VoiceErrorCode::speakFailed), std::string(pa_strerror(error)));
  shared_ = std::make_shared<Shared>();
  shared_->stream = stream;
  // A thread the system cannot start is a failure to speak like any other, not a crash.
  try {
    worker_ = std::thread([this] { run(); });
  } catch (const std::system_error& error) {
    shared_.reset();
    pa_simple_free(stream);
    return VoiceFailure(std::string(VoiceErrorCode::speakFailed), error.what());
  }
  return std::nullopt;
}

void PulsePcmOutput::write(std::string pcm) {
  if (!shared_ || pcm.empty()) return;
  std::lock_guard lock(shared_->mutex);
  if (shared_->stopped) return;
  shared_->ops.push_back(Op{std::move(pcm), nullptr});
  shared_->wake.notify_one();
}

void PulsePcmOutput::drain(std::function<void()> played) {
  if (!shared_) return;
  std::lock_guard lock(shared_->mutex);
  if (shared_->stopped) return;
  shared_->ops.push_back(Op{{}, std::move(played)});
  shared_->wake.notify_one();
}

void PulsePcmOutput::stop() {
  if (!shared_) return;
  std::lock_guard lock(shared_->mutex);
  shared_->stopped = true;
  shared_->ops.clear();
  shared_->wake.notify_one();
}

void PulsePcmOutput::run() {
  const auto shared = shared_;
  MainLoop& loop = loop_;
  const size_t chunk = chunkBytes(sampleRate_, channels_);
  int error = 0;
  for (;;) {
    Op op;
    {
      std::unique_lock lock(shared->mutex);
      shared->wake.wait(lock, [&] { return shared->stopped || !shared->ops.empty(); });
      if (shared->stopped) break;
      op = std::move(shared->ops.front());
      shared->ops.pop_front();
    }
    if (op.played) {
      // A tail shorter than the prebuffer would never start: silence fills it up.
      const std::string padding(prebufferBytes_, '\0');
      (void)pa_simple_write(shared->stream, padding.data(), padding.size(), &error);
      // Waits out what the server still holds, as the device reports it, while staying
      // ready for a stop; a device that cannot tell has nothing more to play.
      const pa_usec_t latency = pa_simple_get_latency(shared->stream, &error);
      const auto remaining = std::chrono::microseconds(latency == static_cast<pa_usec_t>(-1) ? 0 : latency);
      std::unique_lock lock(shared->mutex);
      shared->wake.wait_for(lock, remaining + std::chrono::milliseconds(20), [&] { return shared->stopped; });
      if (shared->stopped) break;
      loop.post(std::move(op.played));
      continue;
    }
    for (size_t offset = 0; offset < op.pcm.size(); offset += chunk) {
      {
        std::lock_guard lock(shared->mutex);
        if (shared->stopped) break;
      }
      const size_t size = std::min(chunk, op.pcm.size() - offset);
      if (pa_simple_write(shared->stream, op.pcm.data() + offset, size, &error) < 0) break;
    }
  }
  // Disconnecting drops whatever the server still holds, so a stop is heard at once.
  pa_simple_free(shared->stream);
  shared->stream = nullptr;
}

}  // namespace tovarin
