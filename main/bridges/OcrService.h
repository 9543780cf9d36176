#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/MainLoop.h"
#include "main/bridges/OcrJob.h"
#include "main/bridges/TextRecognizer.h"

namespace tovarin {

// The program's one text-recognition service, shared by the "ocr" bridge and file
// drop. Recognition runs one at a time on `queue` (in the program the serial queue
// "com.orvik.thetovarin.ocr"); every request ends in exactly one completion on the
// main loop, at the latest when the 20-second watchdog fires. A run that outlives its
// watchdog is not stopped; its result is ignored.
class OcrService final {
 public:
  static constexpr std::string_view queueLabel = "com.orvik.thetovarin.ocr";
  static constexpr double timeoutSeconds = 20.0;
  // Caps both the UTF-8 length of a base64 text and the size of an image file, before
  // anything is decoded.
  static constexpr size_t maxBase64Bytes = 50'331'648;
  static const std::vector<std::string>& languages();  // "zh-Hans", "en-US"

  OcrService(MainLoop& loop, TaskRunner& queue, std::shared_ptr<TextRecognizer> recognizer)
      : loop_(loop), queue_(queue), recognizer_(std::move(recognizer)) {}

  void recognizeBase64(std::string_view base64, OcrJob::Completion completion);
  void recognizeData(std::vector<uint8_t> bytes, OcrJob::Completion completion);
  void recognizeFile(std::string path, OcrJob::Completion completion);

 private:
  std::shared_ptr<OcrJob> startJob(OcrJob::Completion completion);
  void finishNow(OcrResult result, OcrJob::Completion& completion);
  static OcrResult run(const TaskRunner& queue, TextRecognizer& recognizer, const std::vector<uint8_t>& bytes);

  MainLoop& loop_;
  TaskRunner& queue_;
  const std::shared_ptr<TextRecognizer> recognizer_;  // used on queue_ only
};

}  // namespace tovarin
