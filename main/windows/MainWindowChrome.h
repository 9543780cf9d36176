#pragma once

#include <optional>
#include <string_view>

#include "base/Json.h"
#include "main/page/Window.h"
#include "tokens/TovarinColorToken.h"

namespace tovarin {

// The main window's own colour behind the page and the colour the page asks for
// ("mainWindow" {type: "chrome", background: "#rrggbb"}). Pure; any thread.
namespace MainWindowChrome {

// The window ground: the base ground token, dark or light with the desktop's appearance.
[[nodiscard]] const TovarinColorToken& nativeGroundToken();
[[nodiscard]] Rgba nativeGround(bool darkAppearance);

// The colour of a chrome message body; nothing for any other shape.
[[nodiscard]] std::optional<Rgba> background(const Json& body);

// "#" and exactly six ASCII hexadecimal digits (either case), read as 0xRRGGBB, opaque.
// No short, long or unprefixed forms.
[[nodiscard]] std::optional<Rgba> color(std::string_view hex);

}  // namespace MainWindowChrome
}  // namespace tovarin
