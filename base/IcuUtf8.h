#pragma once

// Conversions between our UTF-8 strings and ICU's UTF-16 ones, for the text helpers
// that hand work to ICU. Ill-formed UTF-8 becomes U+FFFD, as ICU does it.

#include <string>
#include <string_view>

#include <unicode/unistr.h>

namespace tovarin {

inline icu::UnicodeString toUnicode(std::string_view utf8) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

inline std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace tovarin
