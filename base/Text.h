#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Unicode text rules over UTF-8 strings. Invalid UTF-8 is read as U+FFFD, so every
// result is valid UTF-8 whatever came in.
namespace tovarin::text {

// Well-formed UTF-8: no overlong forms, surrogates, scalars past U+10FFFF or cut
// sequences. For bytes from outside before they are trusted as text.
[[nodiscard]] bool isValidUtf8(std::string_view bytes);

// Characters are extended grapheme clusters.
[[nodiscard]] std::size_t graphemeCount(std::string_view utf8);
// The characters, in order; at most `limit` of them.
[[nodiscard]] std::vector<std::string> graphemes(std::string_view utf8, std::size_t limit);
// The first `count` characters.
[[nodiscard]] std::string graphemePrefix(std::string_view utf8, std::size_t count);
// The longest run of whole characters from the start that fits in `units` UTF-16 units.
[[nodiscard]] std::string graphemePrefixWithinUtf16(std::string_view utf8, std::size_t units);

[[nodiscard]] std::size_t utf16Length(std::string_view utf8);

// Unicode's White_Space property (U+00A0 and U+3000 included). The "line break" set
// is LF, VT, FF, CR, NEL, U+2028 and U+2029.
[[nodiscard]] bool isWhitespace(char32_t scalar);
[[nodiscard]] bool isLineBreak(char32_t scalar);
// General categories Cc and Cf.
[[nodiscard]] bool isControlOrFormat(char32_t scalar);

// Keeps the scalars for which keep() is true.
[[nodiscard]] std::string filterScalars(std::string_view utf8, const std::function<bool(char32_t)>& keep);

// Trims white space without line breaks at both ends.
[[nodiscard]] std::string trimBlanks(std::string_view utf8);
// Trims white space and line breaks at both ends.
[[nodiscard]] std::string trimWhitespace(std::string_view utf8);
// Splits at every run of white space and line breaks, drops what is empty and joins
// the rest with one blank.
[[nodiscard]] std::string collapseWhitespace(std::string_view utf8);

// Only A-Z become a-z; every other byte stays. For protocol words (schemes, file
// extensions, identifiers) that must not fold by Unicode's or the user's rules.
[[nodiscard]] std::string asciiLowercased(std::string_view text);
// Unicode default (root locale) lower-casing, never the user's locale.
[[nodiscard]] std::string lowercased(std::string_view utf8);
// Canonical composition (NFC), so canonically equivalent texts compare equal byte-wise.
[[nodiscard]] std::string nfc(std::string_view utf8);
// Orders by Unicode scalar values after canonical composition: negative, 0, positive.
[[nodiscard]] int compareScalars(std::string_view a, std::string_view b);

}  // namespace tovarin::text
