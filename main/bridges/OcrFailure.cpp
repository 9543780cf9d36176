#include "main/bridges/OcrFailure.h"

namespace tovarin {

const std::string& ocrFailureMessage(OcrFailure failure) {
  static const std::string decode = "这张图片打不开，可以手动粘贴文字。";
  static const std::string empty = "没有识别到文字，可以手动粘贴。";
  static const std::string timeout = "识别超时，可以手动粘贴文字。";
  static const std::string engine = "本机识别没能完成，可以手动粘贴文字。";
  static const std::string tooLarge = "这张图片太大了，可以裁一部分再试，或手动粘贴文字。";
  switch (failure) {
    case OcrFailure::decode: return decode;
    case OcrFailure::empty: return empty;
    case OcrFailure::timeout: return timeout;
    case OcrFailure::engine: return engine;
    case OcrFailure::tooLarge: return tooLarge;
  }
  return engine;
}

}  // namespace tovarin
