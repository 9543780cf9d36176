#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "main/page/WebView.h"

struct _GCancellable;
struct _GtkWidget;
struct _WebKitPolicyDecision;
struct _WebKitWebView;

namespace tovarin {

// A page in a WebKitGTK view. Lives on the main loop; WebKit delivers every signal
// there. Script messages carry the frame facts the web-process extension attached;
// those that arrive without them are marked unknown.
//
// WebKitGTK does not say which frame a navigation action targets. Loads this object
// starts, link clicks, form submissions, reloads and history moves are reported as
// main-frame navigations; other script-started navigations as sub-frame ones. Many of
// the former never load in the main frame (a link to a fragment, a link in a frame),
// so what the main frame does load is checked by its address once the engine names
// it, at a server redirect and at the response: an address the client has not allowed
// as a main-frame navigation is put to it again as one and stopped unless allowed.
class GtkWebView final : public WebView, public std::enable_shared_from_this<GtkWebView> {
 public:
  // Takes its own reference to view; messageNames are the handler names registered
  // on the view's user-content manager.
  static std::shared_ptr<GtkWebView> create(MainLoop& loop, _WebKitWebView* view,
                                            std::vector<std::string> messageNames);
  ~GtkWebView() override;
  GtkWebView(const GtkWebView&) = delete;
  GtkWebView& operator=(const GtkWebView&) = delete;

  void setClient(std::weak_ptr<WebViewClient> client) override;
  void loadUrl(const std::string& url, double timeoutSeconds) override;
  void loadHtml(const std::string& html, const std::string& baseUrl) override;
  std::string url() const override;
  void evaluate(const std::string& script, std::function<void(ScriptValue)> completion) override;
  void read(const std::string& expression, std::function<void(ScriptValue)> completion) override;
  void callAsync(const std::string& functionBody, const Json& arguments,
                 std::function<void(ScriptValue)> completion) override;
  void removeAllDocumentStartScripts() override;
  void addDocumentStartScript(const std::string& source) override;

  _GtkWidget* widget() const;

  // Signal entry points (public for the C callbacks in the implementation).
  void onLoadChanged(int loadEvent);
  bool onLoadFailed(int loadEvent, const char* failingUri, const void* error);
  bool onDecidePolicy(void* decision, int decisionType);
  void onNewWindowRequested(void* navigationAction);
  void onWebProcessTerminated();
  void onFramedMessage(void* userMessage);
  void onUnframedMessage(const std::string& name, void* javascriptResult);
  void onPanelFacts(void* userMessage);
  bool onScriptDialog(void* dialog);
  bool onFileChooser(void* request);
  bool onPrint();
  bool onAuthenticate(void* request);
  void onDownloadStarted(void* download);

 private:
  GtkWebView(MainLoop& loop, _WebKitWebView* view, std::vector<std::string> messageNames);
  void connectSignals();
  std::shared_ptr<WebViewClient> client() const { return client_.lock(); }
  bool isHandlerName(const std::string& name) const;
  void decideNavigationAction(_WebKitPolicyDecision* decision);
  void decideResponse(_WebKitPolicyDecision* decision);
  NavigationDecision vetMainFrameAddress(const std::string& url);
  void vetRedirect();
  void rememberVetted(const std::string& url);
  bool isVetted(const std::string& url) const;
  void onLoadTimedOut(unsigned generation);
  // The client admits a message of this name from this frame, before its body is read.
  bool accepts(const std::string& name, const MessageSource& source);
  void deliver(ScriptMessage message);
  void logDropped(const std::string& kind, const std::string& line);
  // The frame facts announced for a panel of this kind just now, taken once; unknown
  // facts when none were announced. `detail` receives what came with them.
  MessageSource takePanelFacts(const std::string& kind, std::string* detail = nullptr);
  // The frame that announced a click on a link to this address just now, taken once.
  MessageSource takeLinkFacts(const std::string& url);

  MainLoop& loop_;
  _WebKitWebView* view_;  // strong reference
  _GCancellable* cancellable_;
  const std::vector<std::string> messageNames_;
  std::vector<std::pair<void*, unsigned long>> signalHandlers_;  // (instance, handler id)
  std::weak_ptr<WebViewClient> client_;

  std::string ownLoadUrl_;  // the last load started through this object
  bool ownLoadPending_ = false;  // ownLoadUrl_ is not yet committed
  // Main-frame addresses the client refused since the main frame last committed: a
  // redirect is checked when it happens and again at its response, and the client
  // (which may open the browser for it) hears of it once.
  std::vector<std::string> refusedUrls_;
  // Dropped messages are logged at most once per second per kind.
  LogThrottle dropLog_;
  // Addresses, without fragment, the client allowed as main-frame navigations since the
  // main frame last committed; newest last. Forgetting one only means asking again.
  std::vector<std::string> vettedUrls_;
  bool committed_ = false;
  bool loadFailed_ = false;  // the current main-frame load failed: no "finished" for it
  unsigned loadGeneration_ = 0;
  TimerHandle loadTimeout_;
  // The latest panel announcement: its kind, when it came and its frame.
  struct PanelFacts {
    std::string kind;
    double at = 0;
    MessageSource source;
    std::string detail;  // a file input's accept attribute, a link's address
  };
  std::optional<PanelFacts> panelFacts_;
};

}  // namespace tovarin
