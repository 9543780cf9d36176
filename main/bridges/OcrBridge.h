#pragma once

#include <memory>
#include <string_view>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "main/bridges/LocalOriginAdmission.h"
#include "main/bridges/OcrService.h"
#include "main/page/PageBridge.h"
#include "main/page/WebView.h"

namespace tovarin {

// The page's "ocr" handler: {"requestId", "imageBase64"} in, one reply
// {"requestId", "text"} or {"requestId", "error"} out through `window.__ocr`.
// Only frames of the local server may ask. Lives on the main loop; results come back
// there and find the bridge weakly.
class OcrBridge final : public PageBridge, public std::enable_shared_from_this<OcrBridge> {
 public:
  static constexpr std::string_view handlerName = "ocr";
  static constexpr std::string_view pageBridge = "__ocr";
  static constexpr size_t maxRequestIdCharacters = 64;

  OcrBridge(MainLoop& loop, OcrService& service, LocalServer server)
      : loop_(loop), service_(service), admission_(loop, std::move(server)) {}

  void attach(std::weak_ptr<WebView> webView) { webView_ = std::move(webView); }
  void handle(const Json& body);

  // PageBridge
  std::string_view messageName() const override { return handlerName; }
  bool admits(const MessageSource& source) override { return admission_.admits(std::string(handlerName), source); }
  void handle(const ScriptMessage& message) override { handle(message.body); }

 private:
  void reply(Json payload);

  MainLoop& loop_;
  OcrService& service_;
  LocalOriginAdmission admission_;
  std::weak_ptr<WebView> webView_;
};

}  // namespace tovarin
