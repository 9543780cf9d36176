#include "main/voice/VoiceSpeechSplit.h"

#include <algorithm>
#include <array>
#include <optional>

#include <unicode/unistr.h>

#include "base/IcuUtf8.h"
#include "base/Text.h"

namespace tovarin::VoiceSpeechSplit {
namespace {

constexpr std::array<char32_t, 8> kStrong = {U'\u3002', U'\uFF01', U'\uFF1F', U'\uFF1B', U'!', U'?', U';', U'\n'};
constexpr std::array<char32_t, 6> kWeak = {U'\uFF0C', U'\u3001', U',', U'\uFF1A', U':', U' '};

// Runs of spaces and tabs become one space; other white space is left as it is.
std::string collapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inRun = false;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && inRun) continue;
    out.push_back(blank ? ' ' : c);
    inRun = blank;
  }
  return out;
}

std::u32string toScalars(std::string_view utf8) {
  icu::UnicodeString unicode = toUnicode(utf8);
  std::u32string scalars(static_cast<size_t>(unicode.countChar32()), U'\0');
  UErrorCode status = U_ZERO_ERROR;
  unicode.toUTF32(reinterpret_cast<UChar32*>(scalars.data()), static_cast<int32_t>(scalars.size()), status);
  return scalars;
}

std::string toUtf8(std::u32string_view scalars) {
  return tovarin::toUtf8(
      icu::UnicodeString::fromUTF32(reinterpret_cast<const UChar32*>(scalars.data()), static_cast<int32_t>(scalars.size())));
}

template <size_t N>
bool isMember(const std::array<char32_t, N>& set, char32_t scalar) {
  return std::find(set.begin(), set.end(), scalar) != set.end();
}

template <size_t N>
std::optional<size_t> afterLastBreak(const std::u32string& scalars, size_t start, size_t limit, double floor,
                                     const std::array<char32_t, N>& set) {
  for (size_t i = limit; i-- > start && floor < static_cast<double>(i);) {
    if (isMember(set, scalars[i])) return i + 1;
  }
  return std::nullopt;
}

// The end of the piece that starts at `start`: after the last strong break above a
// third of the limit, else after the last weak one there, else at the limit.
size_t pieceEnd(const std::u32string& scalars, size_t start, size_t max) {
  const size_t limit = start + max;
  const double floor = static_cast<double>(start) + static_cast<double>(max) / 3.0;
  if (auto end = afterLastBreak(scalars, start, limit, floor, kStrong)) return *end;
  if (auto end = afterLastBreak(scalars, start, limit, floor, kWeak)) return *end;
  return limit;
}

}  // namespace

std::vector<std::string> split(std::string_view text, size_t max) {
  max = std::max<size_t>(max, 1);
  const std::u32string scalars = toScalars(text::trimWhitespace(collapseBlanks(text)));
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < scalars.size()) {
    const size_t end =
        scalars.size() - start <= max ? scalars.size() : pieceEnd(scalars, start, max);
    std::string piece = text::trimWhitespace(toUtf8(std::u32string_view(scalars).substr(start, end - start)));
    if (!piece.empty()) pieces.push_back(std::move(piece));
    start = end;
  }
  return pieces;
}

}  // namespace tovarin::VoiceSpeechSplit
