#include "main/bridges/OcrService.h"

#include <cassert>
#include <fstream>
#include <sys/stat.h>

#include "base/Log.h"
#include "main/bridges/LenientBase64.h"

namespace tovarin {
namespace {

enum class FileRead { ok, unreadable, tooLarge };

// Looks at the size before reading, so an oversized file is never loaded.
FileRead readImageFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return FileRead::unreadable;
  if (static_cast<uint64_t>(info.st_size) > limit) return FileRead::tooLarge;
  std::ifstream file(path, std::ios::binary);
  if (!file) return FileRead::unreadable;
  bytes.resize(static_cast<size_t>(info.st_size));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // A file that shrank while it was read is read as far as it goes.
  bytes.resize(static_cast<size_t>(file.gcount()));
  return FileRead::ok;
}

}  // namespace

const std::vector<std::string>& OcrService::languages() {
  static const std::vector<std::string> list = {"zh-Hans", "en-US"};
  return list;
}

void OcrService::recognizeBase64(std::string_view base64, OcrJob::Completion completion) {
  if (base64.size() > maxBase64Bytes) return finishNow(OcrResult::failed(OcrFailure::tooLarge), completion);
  auto bytes = LenientBase64::decode(base64);
  if (!bytes || bytes->empty()) return finishNow(OcrResult::failed(OcrFailure::decode), completion);
  recognizeData(std::move(*bytes), std::move(completion));
}

// A run holds the recogniser it reads, not the service, so that the service may go while
// a run is in flight: the run finishes and its job still answers.
void OcrService::recognizeData(std::vector<uint8_t> bytes, OcrJob::Completion completion) {
  auto job = startJob(std::move(completion));
  queue_.post([&queue = queue_, recognizer = recognizer_, job, bytes = std::move(bytes)] {
    job->finish(run(queue, *recognizer, bytes));
  });
}

void OcrService::recognizeFile(std::string path, OcrJob::Completion completion) {
  auto job = startJob(std::move(completion));
  queue_.post([&queue = queue_, recognizer = recognizer_, job, path = std::move(path)] {
    std::vector<uint8_t> bytes;
    switch (readImageFile(path, maxBase64Bytes, bytes)) {
      case FileRead::unreadable: return job->finish(OcrResult::failed(OcrFailure::decode));
      case FileRead::tooLarge: return job->finish(OcrResult::failed(OcrFailure::tooLarge));
      case FileRead::ok: break;
    }
    if (bytes.empty()) return job->finish(OcrResult::failed(OcrFailure::decode));
    job->finish(run(queue, *recognizer, bytes));
  });
}

std::shared_ptr<OcrJob> OcrService::startJob(OcrJob::Completion completion) {
  auto job = std::make_shared<OcrJob>(loop_, std::move(completion));
  OcrJob::startWatchdog(job, timeoutSeconds);
  return job;
}

void OcrService::finishNow(OcrResult result, OcrJob::Completion& completion) {
  OcrJob(loop_, std::move(completion)).finish(std::move(result));
}

OcrResult OcrService::run([[maybe_unused]] const TaskRunner& queue, TextRecognizer& recognizer,
                           const std::vector<uint8_t>& bytes) {
  assert(queue.isCurrent());
  OcrResult result = recognizer.recognize(bytes, languages());
  if (result.failure != OcrFailure::engine) return result;
  log("ocr: 首选语言不可用，退到 en-US 再试一次");
  return recognizer.recognize(bytes, {"en-US"});
}

}  // namespace tovarin
