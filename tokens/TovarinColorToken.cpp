#include "tokens/TovarinColorToken.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tokens/CssNumber.h"

namespace tovarin {
namespace {

// Kept within 0...255 so that a channel outside 0...1 still gives well-formed CSS.
long to255(double component) { return std::clamp(std::lround(component * 255), 0L, 255L); }

}  // namespace

std::string TovarinColorToken::cssText(const Channels& channels) {
  const long r = to255(channels.r);
  const long g = to255(channels.g);
  const long b = to255(channels.b);
  if (channels.a >= 1) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "#%02lx%02lx%02lx", r, g, b);
    return hex;
  }
  return "rgba(" + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b) + "," +
         CssNumber::threeDecimals(channels.a) + ")";
}

}  // namespace tovarin
