#include "tokens/TovarinMark.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tokens/TovarinColors.h"

namespace tovarin::TovarinMark {
namespace {

// 2^63: the first double that no longer fits in int64_t.
constexpr double int64Limit = 9223372036854775808.0;

int64_t truncatedSize(double size) {
  if (!std::isfinite(size) || size >= int64Limit || size < -int64Limit) {
    std::fprintf(stderr, "TovarinMark::svg: size %g is not a drawable size\n", size);
    std::abort();
  }
  return static_cast<int64_t>(size);
}

}  // namespace

std::string svg(double size) {
  const std::string n = std::to_string(truncatedSize(size));
  std::string text = "<svg class=\"mark\" width=\"" + n + "\" height=\"" + n +
                     "\" viewBox=\"0 0 64 64\" role=\"img\" aria-label=\"The Tovarin｜岚笺\">";
  text += "<path fill=\"" + TovarinBrand::mark.lightCSS() + "\" d=\"";
  text += path;
  text += "\"/></svg>";
  return text;
}

}  // namespace tovarin::TovarinMark
