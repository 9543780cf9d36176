#include "main/windows/MainWindowChrome.h"

#include "tokens/TovarinColors.h"

namespace tovarin::MainWindowChrome {
namespace {

std::optional<int> hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

}  // namespace

const TovarinColorToken& nativeGroundToken() { return TovarinGround::base; }

Rgba nativeGround(bool darkAppearance) {
  const auto& channels = nativeGroundToken().channels(darkAppearance ? TovarinColorToken::Scheme::dark
                                                                     : TovarinColorToken::Scheme::light);
  return Rgba{channels.r, channels.g, channels.b, channels.a};
}

std::optional<Rgba> background(const Json& body) {
  if (!body.is_object()) return std::nullopt;
  if (jsonString(body, "type") != "chrome") return std::nullopt;
  auto hex = jsonString(body, "background");
  if (!hex) return std::nullopt;
  return color(*hex);
}

std::optional<Rgba> color(std::string_view hex) {
  if (hex.size() != 7 || hex[0] != '#') return std::nullopt;
  unsigned value = 0;
  for (char c : hex.substr(1)) {
    auto digit = hexDigit(c);
    if (!digit) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(*digit);
  }
  return Rgba{((value >> 16) & 0xff) / 255.0, ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0, 1.0};
}

}  // namespace tovarin::MainWindowChrome
