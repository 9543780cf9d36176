#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "main/bridges/TextRecognizer.h"

namespace tesseract {
class TessBaseAPI;
}

namespace tovarin {

// Text recognition with tesseract; pictures decoded by leptonica, HEIC by libheif.
// Lives on the recognition queue: it keeps each engine it loaded (one per language
// set), so only the first request pays for loading the language data.
class TesseractRecognizer final : public TextRecognizer {
 public:
  // Debian's language data.
  static constexpr const char* defaultDataPath = "/usr/share/tesseract-ocr/5/tessdata";
  // A picture that would decode to more pixels than this is refused before decoding:
  // a small file can promise gigabytes. Only one picture of a file is decoded: a GIF's
  // first frame, a TIFF's first page, a HEIF's primary image.
  static constexpr uint64_t maxPixels = 50'000'000;

  explicit TesseractRecognizer(std::string dataPath = defaultDataPath);
  ~TesseractRecognizer() override;

  OcrResult recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) override;

  // "zh-Hans" -> "chi_sim", "en-US" -> "eng"; empty for a language we have no data for.
  static std::string tesseractLanguage(const std::string& language);

 private:
  tesseract::TessBaseAPI* engineFor(const std::string& languages, std::string& failure);

  const std::string dataPath_;
  std::map<std::string, std::unique_ptr<tesseract::TessBaseAPI>> engines_;
};

}  // namespace tovarin
