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
  result = email().replaceAll(result, emailMark);
  result = groupedDigits().replaceAll(result, digitsMark);
  result = longDigits().replaceAll(result, digitsMark);
  if (text::graphemeCount(result) > maxLength) result = text::graphemePrefix(result, maxLength);
  while (!result.empty() && text::utf16Length(result) > maxUTF16) result = text::dropLastGrapheme(result);
  return result;
}

}  // namespace tovarin::TitleSanitizer
