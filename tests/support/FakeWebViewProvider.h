#pragma once

#include <memory>
#include <vector>

#include "main/page/WebView.h"
#include "tests/support/FakeWebView.h"

namespace tovarin {

// Makes FakeWebViews and keeps each one so the test can drive it. Test thread only.
class FakeWebViewProvider final : public WebViewProvider {
 public:
  std::shared_ptr<WebView> makeWebView(const WebViewOptions& options) override;

  const std::vector<std::shared_ptr<FakeWebView>>& made() const { return made_; }
  // The most recent web view; null before any was made.
  std::shared_ptr<FakeWebView> last() const { return made_.empty() ? nullptr : made_.back(); }

 private:
  std::vector<std::shared_ptr<FakeWebView>> made_;
};

}  // namespace tovarin
