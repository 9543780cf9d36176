#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/page/WebView.h"

// Offers something to the page until the page acknowledges it: one script call now,
// and while the page's answer does not acknowledge, the same call again every 0.25 s,
// `retries` more times; then the offer is given up once. Each caller says how the
// page's answer reads as acknowledged, since each page function answers its own way.
namespace tovarin::PageDelivery {

inline constexpr double retryInterval = 0.25;
inline constexpr int defaultRetries = 40;

// How a page function's answer reads as "taken".
using Acknowledgement = bool (*)(const ScriptValue& answer);

// `window.<bridge>.deliver` answers with a Boolean or a number.
[[nodiscard]] bool answeredBooleanOrNumber(const ScriptValue& answer);
// `window.__voice.emit` answers true.
[[nodiscard]] bool answeredTrue(const ScriptValue& answer);
// A page command answers whether it is registered: either Boolean is an answer.
[[nodiscard]] bool answeredBoolean(const ScriptValue& answer);
// The navigation hook answers anything once it is installed: all but null, undefined
// and an error.
[[nodiscard]] bool answeredAnyValue(const ScriptValue& answer);

struct Offer {
  // Makes one call into the page and passes its answer to `answered`. When the page or
  // its owner has gone it calls nothing, which ends the offer without a word.
  std::function<void(std::function<void(ScriptValue)> answered)> attempt;
  Acknowledgement acknowledged = answeredBooleanOrNumber;
  std::function<void(const ScriptValue&)> onAcknowledged = {};
  std::function<void()> onGivenUp = {};
};

// The first attempt is made at once, on the calling thread (an attempt that is not
// main-loop safe posts itself); the page's answers and the retries come on `loop`.
void offer(MainLoop& loop, Offer offer, int retries = defaultRetries);

// The page function that hands the payload to the page object; null when the page has
// not installed it.
[[nodiscard]] std::string deliverScript(const std::string& bridge);

// A bridge's result for `window.<bridge>.deliver`, given up with one log line.
// Main loop only. Does nothing without a web view. The attempts keep the web view alive.
void deliverToPage(MainLoop& loop, std::shared_ptr<WebView> webView, const std::string& bridge, const Json& payload,
                   const std::string& label, int retries);

// What each bridge calls from any thread: moves to the main loop, and finds the web
// view there, so a page that has gone by then receives nothing.
void post(MainLoop& loop, std::weak_ptr<WebView> webView, std::string bridge, Json payload, std::string label,
          int retries = defaultRetries);

}  // namespace tovarin::PageDelivery
