#include "base/Text.h"

#include <cstdint>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include "base/IcuUtf8.h"

namespace tovarin::text {

namespace {

// Breaks are computed on a fresh iterator each time: an ICU break iterator is not
// safe to share between threads, and these helpers may run on any thread.
std::unique_ptr<icu::BreakIterator> characterIterator(const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !iterator) return nullptr;
  iterator->setText(text);
  return iterator;
}

// UTF-16 offset of the end of the first `count` characters.
int32_t offsetAfterGraphemes(const icu::UnicodeString& text, std::size_t count) {
  auto iterator = characterIterator(text);
  if (!iterator) return text.length();
  int32_t offset = iterator->first();
  for (std::size_t i = 0; i < count; ++i) {
    int32_t next = iterator->next();
    if (next == icu::BreakIterator::DONE) return text.length();
    offset = next;
  }
  return offset;
}

// ASCII text is its own NFC form, lower-cases byte by byte and counts one UTF-16 unit
// per byte: the record's queries fold thousands of such texts and skip ICU for them.
bool isAscii(std::string_view utf8) {
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

const icu::Normalizer2* nfcNormalizer() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  return U_SUCCESS(status) ? normalizer : nullptr;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra = 0;
    uint32_t scalar = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
      extra = 1, scalar = lead & 0x1f;
    } else if ((lead & 0xf0) == 0xe0) {
      extra = 2, scalar = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      extra = 3, scalar = lead & 0x07;
    } else {
      return false;
    }
    if (bytes.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      scalar = (scalar << 6) | (next & 0x3f);
    }
    const bool overlong = (extra == 2 && scalar < 0x800) || (extra == 3 && scalar < 0x10000);
    if (overlong || (scalar >= 0xd800 && scalar <= 0xdfff) || scalar > 0x10ffff) return false;
    i += extra + 1;
  }
  return true;
}

std::size_t graphemeCount(std::string_view utf8) {
  icu::UnicodeString text = toUnicode(utf8);
  auto iterator = characterIterator(text);
  if (!iterator) return static_cast<std::size_t>(text.countChar32());
  std::size_t count = 0;
  iterator->first();
  while (iterator->next() != icu::BreakIterator::DONE) ++count;
  return count;
}

std::vector<std::string> graphemes(std::string_view utf8, std::size_t limit) {
  icu::UnicodeString text = toUnicode(utf8);
  std::vector<std::string> out;
  auto iterator = characterIterator(text);
  if (!iterator) return out;
  int32_t start = iterator->first();
  for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE && out.size() < limit; end = iterator->next()) {
    out.push_back(toUtf8(text.tempSubString(start, end - start)));
    start = end;
  }
  return out;
}

std::string graphemePrefix(std::string_view utf8, std::size_t count) {
  icu::UnicodeString text = toUnicode(utf8);
  return toUtf8(text.tempSubString(0, offsetAfterGraphemes(text, count)));
}

std::string graphemePrefixWithinUtf16(std::string_view utf8, std::size_t units) {
  icu::UnicodeString text = toUnicode(utf8);
  if (static_cast<std::size_t>(text.length()) <= units) return toUtf8(text);
  const auto limit = static_cast<int32_t>(units);
  auto iterator = characterIterator(text);
  // Without break rules, whole code points at least.
  if (!iterator) return toUtf8(text.tempSubString(0, text.getChar32Start(limit)));
  // Offsets are UTF-16 indices: the last boundary at or before the limit ends the prefix.
  int32_t end = iterator->isBoundary(limit) ? limit : iterator->preceding(limit);
  if (end == icu::BreakIterator::DONE) end = 0;
  return toUtf8(text.tempSubString(0, end));
}

std::size_t utf16Length(std::string_view utf8) {
  if (isAscii(utf8)) return utf8.size();
  return static_cast<std::size_t>(toUnicode(utf8).length());
}

bool isWhitespace(char32_t scalar) { return u_isUWhiteSpace(static_cast<UChar32>(scalar)); }

bool isLineBreak(char32_t scalar) {
  return (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
}

bool isControlOrFormat(char32_t scalar) {
  int8_t type = u_charType(static_cast<UChar32>(scalar));
  return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

std::string filterScalars(std::string_view utf8, const std::function<bool(char32_t)>& keep) {
  icu::UnicodeString text = toUnicode(utf8);
  icu::UnicodeString kept;
  for (int32_t i = 0; i < text.length();) {
    UChar32 scalar = text.char32At(i);
    if (keep(static_cast<char32_t>(scalar))) kept.append(scalar);
    i += U16_LENGTH(scalar);
  }
  return toUtf8(kept);
}

namespace {

std::string trimWhere(std::string_view utf8, bool (*trimmed)(char32_t)) {
  icu::UnicodeString text = toUnicode(utf8);
  auto at = [&](int32_t index) { return trimmed(static_cast<char32_t>(text.char32At(index))); };
  int32_t begin = 0;
  int32_t end = text.length();
  while (begin < end && at(begin)) begin = text.moveIndex32(begin, 1);
  while (end > begin) {
    int32_t previous = text.moveIndex32(end, -1);
    if (!at(previous)) break;
    end = previous;
  }
  return toUtf8(text.tempSubString(begin, end - begin));
}

bool isBlank(char32_t scalar) { return isWhitespace(scalar) && !isLineBreak(scalar); }

}  // namespace

std::string trimBlanks(std::string_view utf8) { return trimWhere(utf8, isBlank); }

std::string trimWhitespace(std::string_view utf8) { return trimWhere(utf8, isWhitespace); }

std::string collapseWhitespace(std::string_view utf8) {
  icu::UnicodeString text = toUnicode(utf8);
  icu::UnicodeString out;
  bool pendingBlank = false;
  for (int32_t i = 0; i < text.length();) {
    UChar32 scalar = text.char32At(i);
    i += U16_LENGTH(scalar);
    if (isWhitespace(static_cast<char32_t>(scalar))) {
      pendingBlank = !out.isEmpty();
      continue;
    }
    if (pendingBlank) out.append(static_cast<UChar>(u' '));
    pendingBlank = false;
    out.append(scalar);
  }
  return toUtf8(out);
}

std::string asciiLowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string lowercased(std::string_view utf8) {
  if (isAscii(utf8)) return asciiLowercased(utf8);
  icu::UnicodeString text = toUnicode(utf8);
  text.toLower(icu::Locale::getRoot());
  return toUtf8(text);
}

std::string nfc(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  icu::UnicodeString text = toUnicode(utf8);
  const icu::Normalizer2* normalizer = nfcNormalizer();
  if (!normalizer) return toUtf8(text);
  UErrorCode status = U_ZERO_ERROR;
  if (normalizer->isNormalized(text, status) && U_SUCCESS(status)) return toUtf8(text);
  status = U_ZERO_ERROR;
  icu::UnicodeString normal = normalizer->normalize(text, status);
  return U_SUCCESS(status) ? toUtf8(normal) : toUtf8(text);
}

int compareScalars(std::string_view a, std::string_view b) {
  // UTF-8 byte order is Unicode scalar order.
  if (isAscii(a) && isAscii(b)) {
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  std::string left = nfc(a);
  std::string right = nfc(b);
  int order = left.compare(right);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace tovarin::text
