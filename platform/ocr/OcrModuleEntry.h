#pragma once

#include "main/bridges/TextRecognizer.h"

// What libtovarin-ocr.so offers: one C function that makes the recogniser, so that the
// program finds it with dlsym and never links the engine's libraries itself. The
// module is built from this tree with the program, so the interface it returns is the
// program's own.
namespace tovarin {

inline constexpr const char* ocrModuleName = "libtovarin-ocr.so";
inline constexpr const char* ocrModuleEntry = "tovarin_ocr_make_recognizer";
// A new recogniser the caller owns, or nullptr when it could not be made.
using OcrModuleEntry = TextRecognizer* (*)();

}  // namespace tovarin

extern "C" tovarin::TextRecognizer* tovarin_ocr_make_recognizer();
