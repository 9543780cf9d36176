#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/bridges/DropHost.h"
#include "main/bridges/OcrService.h"
#include "main/page/WebView.h"

namespace tovarin {

// Hands the text of dropped and imported files to the page's `__dropText`, file by
// file: images through text recognition, text files decoded here. Takes file drops over
// from the web view once the page has `__dropText`.
//
// Lives on the main loop. Text files are read on `background`, images on the
// recognition queue; results come back to the main loop and find the bridge weakly.
class DropBridge final : public std::enable_shared_from_this<DropBridge> {
 public:
  static constexpr int defaultAdoptRetries = 20;
  static constexpr double adoptRetryInterval = 0.5;

  struct Services {
    MainLoop& loop;
    TaskRunner& background;
    OcrService& ocr;
    std::function<int64_t()> millisecondsSince1970;  // wall clock, for request ids
  };

  explicit DropBridge(Services services) : services_(std::move(services)) {}

  void attach(std::weak_ptr<WebView> webView) { webView_ = std::move(webView); }
  // The window's drop target: its files come here. Set once the window exists; a page
  // that was ready before then hands the drops over at once.
  void setHost(std::shared_ptr<DropHost> host);
  // Probes the page for `__dropText`, again every 0.5 s while it is missing; adopts the
  // window's file drops at the first positive answer. Once adopted, never undone.
  void adoptIfPageReady(int retries = defaultAdoptRetries);
  // One result per accepted file; other files are skipped (their request id is used up).
  void accept(const std::vector<std::string>& paths);

  bool adopted() const { return adopted_; }
  static std::string readinessProbe();

 private:
  std::string nextRequestId();
  void deliver(Json payload);
  void acceptImage(const std::string& requestId, const std::string& path, std::string filename);
  void acceptText(const std::string& requestId, const std::string& path, std::string filename);

  Services services_;
  std::weak_ptr<WebView> webView_;  // main loop only
  uint64_t counter_ = 0;            // main loop only
  bool adopted_ = false;            // main loop only
  TimerHandle adoptRetry_;          // main loop only
  std::shared_ptr<DropHost> host_;  // main loop only
};

}  // namespace tovarin
