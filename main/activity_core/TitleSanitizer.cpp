#include "main/activity_core/TitleSanitizer.h"

#include "base/IcuRegex.h"
#include "base/Text.h"

namespace tovarin::TitleSanitizer {

namespace {

const IcuRegex& email() {
  static const IcuRegex regex(emailPattern);
  return regex;
}

const IcuRegex& groupedDigits() {
  static const IcuRegex regex(groupedDigitsPattern);
  return regex;
}

const IcuRegex& longDigits() {
  static const IcuRegex regex(longDigitsPattern);
  return regex;
}

bool keepScalar(char32_t scalar) {
  return scalar == U'\t' || scalar == U'\n' || !text::isControlOrFormat(scalar);
}

}  // namespace

std::string clean(const std::optional<std::string>& title) {
  if (!title) return {};
  std::string result = text::collapseWhitespace(text::filterScalars(*title, &keepScalar));
  for (const auto& [pattern, mark] : {std::pair{&email(), emailMark}, std::pair{&groupedDigits(), digitsMark},
                                      std::pair{&longDigits(), digitsMark}}) {
    auto masked = pattern->replaceAll(result, mark);
    // A title that could not be masked is not recorded at all.
    if (!masked) return {};
    result = std::move(*masked);
  }
  if (text::graphemeCount(result) > maxLength) result = text::graphemePrefix(result, maxLength);
  result = text::graphemePrefixWithinUtf16(result, maxUTF16);
  return result;
}

}  // namespace tovarin::TitleSanitizer
