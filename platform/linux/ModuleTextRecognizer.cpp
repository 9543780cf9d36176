#include "platform/linux/ModuleTextRecognizer.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "base/Log.h"
#include "platform/ocr/OcrModuleEntry.h"

namespace tovarin {

std::string ModuleTextRecognizer::bundledModulePath() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return (program.parent_path().parent_path() / "lib" / "the-tovarin" / ocrModuleName).string();
}

ModuleTextRecognizer::ModuleTextRecognizer(std::string modulePath) : modulePath_(std::move(modulePath)) {}

// The module stays loaded: the recogniser made by it is destroyed by its code, and
// the engine's OpenMP runtime keeps threads that would outlive an unloaded library.
ModuleTextRecognizer::~ModuleTextRecognizer() = default;

OcrResult ModuleTextRecognizer::recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) {
  TextRecognizer* recognizer = loaded();
  if (!recognizer) return OcrResult::failed(OcrFailure::engine);
  return recognizer->recognize(image, languages);
}

TextRecognizer* ModuleTextRecognizer::loaded() {
  if (!loadTried_) {
    loadTried_ = true;
    if (const std::string failure = load(); !failure.empty()) {
      log("ocr: 识别模块不可用（" + modulePath_ + "）：" + failure);
    }
  }
  return recognizer_.get();
}

std::string ModuleTextRecognizer::load() {
  if (modulePath_.empty()) return "the module's path is unknown";
  void* module = ::dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = ::dlerror();
    return reason ? reason : "cannot be loaded";
  }
  auto entry = reinterpret_cast<OcrModuleEntry>(::dlsym(module, ocrModuleEntry));
  if (!entry) {
    ::dlclose(module);
    return std::string("no ") + ocrModuleEntry;
  }
  recognizer_.reset(entry());
  if (!recognizer_) return "the module made no recogniser";
  return {};
}

}  // namespace tovarin
