#pragma once

#include <string_view>

#include "main/page/LocalServer.h"

namespace tovarin {

// What a frame inside a window's page may load. Pure.
namespace FrameNavigation {

// A sub-frame keeps its own web content (http, https, about, data, blob). Any other
// scheme (mail, our own URL scheme, other programs') can only fail inside the page, and
// WebKit may report a script navigation of the main frame as a sub-frame's: such a
// navigation is refused, whatever frame it names, and nothing else happens.
[[nodiscard]] bool mayLoadInFrame(std::string_view url);

// The scheme, in any case, is http or https.
[[nodiscard]] bool isWebAddress(std::string_view url);

// Whether a failed load says the local server is out: only when what failed is on it
// (or is not known). A frame's failure, or an outside address's, says nothing about the
// server, and a recovery for it would reload the page for nothing. Logs the others.
[[nodiscard]] bool isServerOutage(std::string_view failingUrl, const LocalServer& server);

// Whether a window still shows its page of the local server (named by `page`) once its
// main frame finished loading `url`. Anywhere but the local server (the offline page,
// a page a frame navigated to) the page is gone and recovery must load it again; on
// another page of the server, what it was.
[[nodiscard]] bool stillShowsPage(std::string_view url, const LocalServer& server, std::string_view page,
                                  bool wasShown);

}  // namespace FrameNavigation
}  // namespace tovarin
