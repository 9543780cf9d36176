#include "main/voice/StreamingVoicePlayer.h"

namespace tovarin {

StreamingVoicePlayer::StreamingVoicePlayer(std::unique_ptr<VoicePcmOutput> output) : output_(std::move(output)) {}

StreamingVoicePlayer::~StreamingVoicePlayer() {
  if (running_) output_->stop();
}

bool StreamingVoicePlayer::start() {
  if (output_->start()) return false;
  running_ = true;
  return true;
}

void StreamingVoicePlayer::push(const std::string& pcm) {
  if (!running_) return;
  std::string bytes;
  bytes.reserve(pcm.size() + 1);
  if (carry_) bytes += *carry_;
  carry_.reset();
  bytes += pcm;
  if (bytes.size() % 2 == 1) {
    carry_ = bytes.back();
    bytes.pop_back();
  }
  if (bytes.size() < 2) return;
  ++scheduled_;
  started_ = true;
  output_->write(std::move(bytes));
}

void StreamingVoicePlayer::finish(std::function<void()> completion) {
  finishing_ = std::move(completion);
  const uint64_t generation = ++generation_;
  if (scheduled_ == 0) {
    settle(generation);
    return;
  }
  output_->drain([weak = weak_from_this(), generation] {
    if (auto self = weak.lock()) self->settle(generation);
  });
}

void StreamingVoicePlayer::settle(uint64_t generation) {
  // A later finish replaced this one; its own drain settles.
  if (generation != generation_ || !finishing_) return;
  auto completion = std::move(finishing_);
  finishing_ = nullptr;
  if (running_) {
    running_ = false;
    output_->stop();
  }
  completion();
}

void StreamingVoicePlayer::stop() {
  if (!running_) return;
  running_ = false;
  output_->stop();
  finishing_ = nullptr;
}

}  // namespace tovarin
