#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "main/bridges/TextRecognizer.h"

namespace tovarin {

// A recogniser the test drives: each call records its bytes and languages and blocks
// the recognition queue until the test answers it (or answers in advance). Any thread.
class FakeTextRecognizer final : public TextRecognizer {
 public:
  struct Request {
    std::vector<uint8_t> image;
    std::vector<std::string> languages;
  };

  ~FakeTextRecognizer() override { release(); }

  OcrResult recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) override;

  // Queues the answer for the next call (calls take answers in order).
  void answer(OcrResult result);
  // Waits (real time) until `count` calls have arrived.
  bool waitForRequests(size_t count, double seconds = 10);
  std::vector<Request> requests() const;
  // Unblocks every waiting call with `engine`, so a queue can stop.
  void release();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<OcrResult> answers_;  // mutex_
  std::vector<Request> requests_;  // mutex_
  bool released_ = false;          // mutex_
};

}  // namespace tovarin
