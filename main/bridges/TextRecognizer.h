#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "main/bridges/OcrResult.h"

namespace tovarin {

// The platform's text recogniser. Runs on the recognition queue only, one call at a
// time, so an implementation may keep its engine loaded between calls.
class TextRecognizer {
 public:
  virtual ~TextRecognizer() = default;
  // Decodes an image file's bytes and reads its text in the given languages
  // ("zh-Hans", "en-US"), lines joined with a line feed and trimmed. Bytes that are no
  // picture give `decode`, a picture too big to decode safely `tooLarge`, a picture
  // without text `empty`, an engine that cannot run with these languages `engine`.
  virtual OcrResult recognize(const std::vector<uint8_t>& image, const std::vector<std::string>& languages) = 0;
};

}  // namespace tovarin
