#pragma once

#include <optional>
#include <string>

namespace tovarin {

// The status item's image: the mark's SVG drawn into a PNG file, since indicator hosts
// take an icon file (or a themed name), not drawing. Main thread only.
namespace StatusItemMark {

// The themed icon that stands in when the mark cannot be drawn.
inline constexpr const char* fallbackIconName = "format-justify-left";

// Draws the SVG file into <directory>/<name>.png at pixels x pixels (creating the
// directory); the PNG's path, or nullopt when the SVG cannot be read or drawn. A PNG of
// that size drawn there since the SVG last changed is reused as it is.
[[nodiscard]] std::optional<std::string> renderPng(const std::string& svgPath, const std::string& directory,
                                                   const std::string& name, int pixels);

}  // namespace StatusItemMark
}  // namespace tovarin
