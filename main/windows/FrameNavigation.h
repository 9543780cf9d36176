#pragma once

#include <string_view>

namespace tovarin {

// What a frame inside a window's page may load. Pure.
namespace FrameNavigation {

// A sub-frame keeps its own web content (http, https, about, data, blob). Any other
// scheme (mail, our own URL scheme, other programs') can only fail inside the page, and
// WebKit may report a script navigation of the main frame as a sub-frame's: such a
// navigation is refused, whatever frame it names, and nothing else happens.
[[nodiscard]] bool mayLoadInFrame(std::string_view url);

}  // namespace FrameNavigation
}  // namespace tovarin
