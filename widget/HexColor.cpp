#include "widget/HexColor.h"

#include <cstdint>
#include <limits>


namespace tovarin::HexColor {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view skipLeadingWhitespace(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
    text.remove_prefix(1);
  }
  return text;
}

uint64_t scanHex(std::string_view text) {
  text = skipLeadingWhitespace(text);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hexDigit(text[2]) >= 0) {
    text.remove_prefix(2);
  }
  uint64_t value = 0;
  for (char c : text) {
    int digit = hexDigit(c);
    if (digit < 0) break;
    if (value > (std::numeric_limits<uint64_t>::max() >> 4)) return std::numeric_limits<uint64_t>::max();
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  return value;
}

}  // namespace

TovarinColorToken::Channels channels(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  uint64_t value = scanHex(text);
  return rgb255(static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
                static_cast<int>(value & 0xff));
}

}  // namespace tovarin::HexColor
