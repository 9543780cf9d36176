#pragma once

#include <string>

namespace tovarin {

// A design colour with a light and a dark variant. A constant value: any thread.
// Native conversions (GTK, cairo) live with the code that draws; this type only picks
// channels and writes CSS.
struct TovarinColorToken {
  // sRGB components from 0 to 1.
  struct Channels {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 1.0;

    bool operator==(const Channels&) const = default;
  };

  enum class Scheme { light, dark };

  Channels light;
  Channels dark;

  constexpr TovarinColorToken(Channels lightChannels, Channels darkChannels)
      : light(lightChannels), dark(darkChannels) {}
  // One set of channels for both appearances.
  explicit constexpr TovarinColorToken(Channels both) : light(both), dark(both) {}

  // The dark channels under a dark scheme, else the light ones.
  [[nodiscard]] constexpr const Channels& channels(Scheme scheme) const {
    return scheme == Scheme::dark ? dark : light;
  }
  // The light channels whatever the appearance.
  [[nodiscard]] constexpr const Channels& fixed() const { return light; }

  [[nodiscard]] std::string lightCSS() const { return cssText(light); }
  [[nodiscard]] std::string darkCSS() const { return cssText(dark); }

  // "#rrggbb" when opaque, else "rgba(r,g,b,a.aaa)"; each channel times 255, rounded
  // half away from zero.
  [[nodiscard]] static std::string cssText(const Channels& channels);

  bool operator==(const TovarinColorToken&) const = default;
};

// Channels from 8-bit components, each divided by 255.
[[nodiscard]] constexpr TovarinColorToken::Channels rgb255(int r, int g, int b, double a = 1.0) {
  return {r / 255.0, g / 255.0, b / 255.0, a};
}

}  // namespace tovarin
