#pragma once

#include <string>

namespace tovarin {

// Why a recognition gave no text; each has the sentence the page shows the user.
enum class OcrFailure { decode, empty, timeout, engine, tooLarge };

[[nodiscard]] const std::string& ocrFailureMessage(OcrFailure failure);

}  // namespace tovarin
