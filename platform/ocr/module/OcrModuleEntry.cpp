#include "platform/ocr/OcrModuleEntry.h"

#include <new>

#include "platform/ocr/TesseractRecognizer.h"

extern "C" __attribute__((visibility("default"))) tovarin::TextRecognizer* tovarin_ocr_make_recognizer() {
  // No exception may cross into a caller that only knows a C function.
  try {
    return new tovarin::TesseractRecognizer();
  } catch (...) {
    return nullptr;
  }
}
