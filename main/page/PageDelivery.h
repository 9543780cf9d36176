#pragma once

#include <memory>
#include <string>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/page/WebView.h"

// Sends a bridge's result into the page and makes sure it arrives: the page's
// `window.<bridge>.deliver(payload)` must answer with a Boolean or a number; until it
// does, the same payload is sent again every 0.25 s, `retries` more times, and then
// dropped with one log line.
namespace tovarin::PageDelivery {

inline constexpr double retryInterval = 0.25;
inline constexpr int defaultRetries = 40;

// The page function that hands the payload to the page object; null when the page has
// not installed it.
[[nodiscard]] std::string deliverScript(const std::string& bridge);

// Main loop only. Does nothing without a web view. The attempts keep the web view alive.
void deliverToPage(MainLoop& loop, std::shared_ptr<WebView> webView, const std::string& bridge, const Json& payload,
                   const std::string& label, int retries);

// What each bridge calls from any thread: moves to the main loop, and finds the web
// view there, so a page that has gone by then receives nothing.
void post(MainLoop& loop, std::weak_ptr<WebView> webView, std::string bridge, Json payload, std::string label,
          int retries = defaultRetries);

}  // namespace tovarin::PageDelivery
