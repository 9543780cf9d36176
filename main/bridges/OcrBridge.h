#pragma once

#include <memory>
#include <string_view>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/bridges/OcrService.h"
#include "main/page/WebView.h"

namespace tovarin {

// The page's "ocr" handler: {"requestId", "imageBase64"} in, one reply
// {"requestId", "text"} or {"requestId", "error"} out through `window.__ocr`.
// Lives on the main loop; results come back there and find the bridge weakly.
class OcrBridge final : public std::enable_shared_from_this<OcrBridge> {
 public:
  static constexpr std::string_view handlerName = "ocr";
  static constexpr std::string_view pageBridge = "__ocr";
  static constexpr size_t maxRequestIdCharacters = 64;

  OcrBridge(MainLoop& loop, OcrService& service) : loop_(loop), service_(service) {}

  void attach(std::weak_ptr<WebView> webView) { webView_ = std::move(webView); }
  void handle(const Json& body);

 private:
  void reply(Json payload);

  MainLoop& loop_;
  OcrService& service_;
  std::weak_ptr<WebView> webView_;
};

}  // namespace tovarin
