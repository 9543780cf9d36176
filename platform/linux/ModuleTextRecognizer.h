#pragma once

#include <memory>
#include <string>

#include "main/bridges/TextRecognizer.h"

namespace tovarin {

// The recogniser in libtovarin-ocr.so, loaded on the first recognition: the engine's
// libraries cost memory and start-up time that a launch should not pay for a feature
// used now and then. Lives on the recognition queue like any recogniser. A module that
// is missing or unusable is reported once in the log, and every recognition then fails
// as an engine that cannot run.
class ModuleTextRecognizer final : public TextRecognizer {
 public:
  // <prefix>/lib/the-tovarin/libtovarin-ocr.so beside the running program at
  // <prefix>/bin; empty when the program's own path cannot be read.
  [[nodiscard]] static std::string bundledModulePath();

  explicit ModuleTextRecognizer(std::string modulePath = bundledModulePath());
  ~ModuleTextRecognizer() override;
  ModuleTextRecognizer(const ModuleTextRecognizer&) = delete;
  ModuleTextRecognizer& operator=(const ModuleTextRecognizer&) = delete;

  OcrResult recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) override;

 private:
  // The module's recogniser, loaded on the first call; nullptr when it cannot be.
  TextRecognizer* loaded();
  // Why the module gave no recogniser; empty when it gave one.
  std::string load();

  const std::string modulePath_;
  bool loadTried_ = false;
  std::unique_ptr<TextRecognizer> recognizer_;
};

}  // namespace tovarin
