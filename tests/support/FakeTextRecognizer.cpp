#include "tests/support/FakeTextRecognizer.h"

#include <chrono>

namespace tovarin {

OcrResult FakeTextRecognizer::recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) {
  std::unique_lock lock(mutex_);
  requests_.push_back({image, languages});
  changed_.notify_all();
  changed_.wait(lock, [&] { return !answers_.empty() || released_; });
  if (answers_.empty()) return OcrResult::failed(OcrFailure::engine);
  OcrResult result = std::move(answers_.front());
  answers_.pop_front();
  return result;
}

void FakeTextRecognizer::answer(OcrResult result) {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(result));
  changed_.notify_all();
}

bool FakeTextRecognizer::waitForRequests(size_t count, double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return requests_.size() >= count; });
}

std::vector<FakeTextRecognizer::Request> FakeTextRecognizer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FakeTextRecognizer::release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

}  // namespace tovarin
