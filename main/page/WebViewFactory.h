#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "main/page/WebView.h"
#include "main/server/StartupNotice.h"

namespace tovarin {

// Makes every web view of the program and renders the two pages the program shows
// without the local server: the starting page and the offline page. No state; main
// thread (the pages themselves are pure text and may be built anywhere).
namespace WebViewFactory {

// Both windows register their retry handler under this name; the offline page's retry
// button posts {type: "retry"} to it.
inline constexpr std::string_view startupHandlerName = "startup";

// A web view whose messages under each of `messageNames` (in order) and whose
// navigation events go to `client`, with the document-start root-class script
// installed. A transparent one draws no background of its own.
[[nodiscard]] std::shared_ptr<WebView> make(WebViewProvider& provider, bool transparent, std::string_view shellClass,
                                            const std::vector<std::string>& accessibilityClasses,
                                            std::weak_ptr<WebViewClient> client,
                                            const std::vector<std::string>& messageNames);

// Replaces the web view's document-start scripts with the one that puts the shell class
// and the accessibility classes on the root element before any page script runs. The
// shell class is one of our own constants (a CSS class name), written in as it is.
void installDocumentStartScripts(WebView& webView, std::string_view shellClass,
                                 const std::vector<std::string>& accessibilityClasses);

// Text for an HTML element or a quoted attribute: & < > " ' replaced, the ampersand
// first so that existing entities show literally.
[[nodiscard]] std::string escapeHtml(std::string_view text);

// The page shown while the server is being probed.
[[nodiscard]] std::string startingHTML();

// The page that shows a notice with a retry button and the diagnosis to fold out.
// The compact form (the small sticky window) shows the short reason and a smaller mark.
[[nodiscard]] std::string offlineHTML(const StartupNotice& notice, bool compact);

}  // namespace WebViewFactory
}  // namespace tovarin
