#include "base/IcuRegex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include "base/IcuUtf8.h"

namespace tovarin {

struct IcuRegex::Compiled {
  std::unique_ptr<icu::RegexPattern> pattern;
};

IcuRegex::IcuRegex(std::string_view pattern) : compiled_(std::make_unique<Compiled>()) {
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(toUnicode(pattern), 0, parseError, status));
  if (U_SUCCESS(status)) compiled_->pattern = std::move(compiled);
}

IcuRegex::~IcuRegex() = default;

bool IcuRegex::valid() const { return compiled_->pattern != nullptr; }

bool IcuRegex::matchesWhole(std::string_view utf8) const {
  if (!valid()) return false;
  icu::UnicodeString text = toUnicode(utf8);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(text, status));
  if (U_FAILURE(status) || !matcher) return false;
  matcher->setStackLimit(0, status);
  bool matched = matcher->matches(status);
  return U_SUCCESS(status) && matched;
}

std::optional<std::string> IcuRegex::replaceAll(std::string_view utf8, std::string_view replacement) const {
  if (!valid()) return std::nullopt;
  icu::UnicodeString text = toUnicode(utf8);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(text, status));
  if (U_FAILURE(status) || !matcher) return std::nullopt;
  // The default backtracking stack (8 MB) runs out on long runs of matching text, and
  // the matcher then stops replacing without saying so: let it grow with the input.
  matcher->setStackLimit(0, status);
  if (U_FAILURE(status)) return std::nullopt;
  icu::UnicodeString literal;
  icu::UnicodeString raw = toUnicode(replacement);
  for (int32_t i = 0; i < raw.length(); ++i) {
    char16_t unit = raw.charAt(i);
    if (unit == u'$' || unit == u'\\') literal.append(u'\\');
    literal.append(unit);
  }
  icu::UnicodeString result;
  // replaceAll() drops the matcher's own failure; the explicit loop sees it.
  matcher->reset();
  while (matcher->find(status) && U_SUCCESS(status)) matcher->appendReplacement(result, literal, status);
  if (U_FAILURE(status)) return std::nullopt;
  matcher->appendTail(result);
  return toUtf8(result);
}

}  // namespace tovarin
