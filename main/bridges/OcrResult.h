#pragma once

#include <optional>
#include <string>

#include "main/bridges/OcrFailure.h"

namespace tovarin {

// The recognised text (never empty), or why there is none.
struct [[nodiscard]] OcrResult {
  std::string text;
  std::optional<OcrFailure> failure;

  static OcrResult success(std::string text) { return {std::move(text), std::nullopt}; }
  static OcrResult failed(OcrFailure failure) { return {{}, failure}; }
  bool ok() const { return !failure; }
  bool operator==(const OcrResult&) const = default;
};

}  // namespace tovarin
