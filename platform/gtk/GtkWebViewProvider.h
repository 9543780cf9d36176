#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/page/WebView.h"

struct _WebKitWebContext;

namespace tovarin {

// Makes WebKitGTK web views that share one web context: one cookie store and one
// persistent website data directory for every window. Lives on the main loop.
class GtkWebViewProvider final : public WebViewProvider {
 public:
  struct Options {
    // Where the web-process extension (libtovarin_webext.so) is. Without it every
    // script message arrives with unknown frame facts and is not trusted.
    std::string webExtensionDirectory;
    // Cookies, local storage and the cache live here.
    std::string dataDirectory;
  };
  // <prefix>/lib/the-tovarin/webext of the running program (its prefix from
  // /proc/self/exe) and $XDG_DATA_HOME/TheTovarin/web.
  [[nodiscard]] static Options defaultOptions();

  GtkWebViewProvider(MainLoop& loop, Options options);
  ~GtkWebViewProvider() override;
  GtkWebViewProvider(const GtkWebViewProvider&) = delete;
  GtkWebViewProvider& operator=(const GtkWebViewProvider&) = delete;

  std::shared_ptr<WebView> makeWebView(const WebViewOptions& options) override;

  // A session-only, HTTP-only, same-site strict cookie in the store every view shares.
  // Returns before the cookie is stored.
  void setSessionCookie(const std::string& host, const std::string& name, const std::string& value,
                        const std::string& path);

  // Called when WebKit launches a web process (public for the C callback).
  void initialiseWebProcess();

 private:
  MainLoop& loop_;
  const Options options_;
  _WebKitWebContext* context_;
  unsigned long initialiseHandler_ = 0;
  // Every handler name of every view made so far: a web process serves any of them.
  std::vector<std::string> handlerNames_;
};

}  // namespace tovarin
