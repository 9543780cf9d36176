#include "tests/support/FakeWebViewProvider.h"

namespace tovarin {

std::shared_ptr<WebView> FakeWebViewProvider::makeWebView(const WebViewOptions& options) {
  auto view = std::make_shared<FakeWebView>(options);
  made_.push_back(view);
  return view;
}

}  // namespace tovarin
