#include "tokens/CssNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tovarin::CssNumber {
namespace {

template <typename... Format>
std::string toText(double value, Format... format) {
  char buffer[400];  // a fixed-notation double needs at most ~330 characters
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string shortest(double value) { return toText(value, std::chars_format::fixed); }

std::string wholeOrGeneral(double value) {
  if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<int64_t>(value));
  }
  return toText(value, std::chars_format::general, 6);
}

std::string threeDecimals(double value) { return toText(value, std::chars_format::fixed, 3); }

}  // namespace tovarin::CssNumber
