#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "main/page/WebDownload.h"

namespace tovarin {

// The result of evaluating script in a page.
struct ScriptValue {
  enum class Kind { error, undefined, null, boolean, number, string, other };
  Kind kind = Kind::undefined;
  bool boolean = false;
  double number = 0;
  std::string text;  // the string value, or the error message

  static ScriptValue error(std::string message) { return {Kind::error, false, 0, std::move(message)}; }
  static ScriptValue undefinedValue() { return {Kind::undefined, false, 0, {}}; }
  static ScriptValue nullValue() { return {Kind::null, false, 0, {}}; }
  static ScriptValue ofBool(bool value) { return {Kind::boolean, value, 0, {}}; }
  static ScriptValue ofNumber(double value) { return {Kind::number, false, value, {}}; }
  static ScriptValue ofString(std::string value) { return {Kind::string, false, 0, std::move(value)}; }
  bool isTrue() const { return kind == Kind::boolean && boolean; }
};

// Which frame posted a script message. When the facts are not known the message is
// treated as coming from a frame that is not the main frame and is not trusted.
struct MessageSource {
  bool known = false;
  bool isMainFrame = false;
  std::string frameUrl;
  std::string securityOrigin;  // "http://127.0.0.1:4173", or "null" for an opaque origin

  bool trustedMainFrame() const { return known && isMainFrame; }
};

struct ScriptMessage {
  std::string name;
  Json body;
  MessageSource source;
};

struct NavigationAction {
  std::string url;                // empty when the request has no URL
  bool targetsMainFrame = true;   // false for a sub-frame navigation
  bool userGesture = false;       // a click, as opposed to script
  bool opensNewWindow = false;    // target=_blank or window.open: never creates a window
  // This program asked for it (loadUrl, loadHtml), and its main frame has not yet
  // committed it; a page cannot make a navigation count as one.
  bool programInitiated = false;
  // The frame whose link started it, as that frame announced the click; unknown when
  // none did (a script navigation, or a frame going around the announcement).
  MessageSource initiator = {};
};

struct NavigationResponse {
  std::string url;
  int status = 0;
  std::string mimeType;
  bool canShowMimeType = true;
  bool isAttachment = false;        // Content-Disposition: attachment
  std::string suggestedFilename;
  bool forMainFrame = true;

  // The server sent it to be saved, or the view could only fail on it.
  bool isMeantForSaving() const { return isAttachment || !canShowMimeType; }
};

enum class NavigationDecision { allow, cancel, download };

// A page's alert, confirm or prompt, with the frame that raised it (unknown when the
// engine could not tell).
struct ScriptDialog {
  enum class Kind { alert, confirm, prompt };
  Kind kind = Kind::alert;
  std::string message;
  std::optional<std::string> defaultText;  // prompts only
  MessageSource source;
};

// The page's answer to a script dialog: confirmed (alert: ignored), and a prompt's text
// (none for a cancelled prompt).
struct ScriptDialogAnswer {
  bool confirmed = false;
  std::optional<std::string> text;
};

// A file input asking for files.
struct FileChooserRequest {
  bool allowsMultiple = false;
  bool allowsDirectories = false;
  std::vector<std::string> acceptedExtensions;  // as the page wrote them, without MIME types
  MessageSource source;
};

// Receives a web view's events on the main thread. Every method has a neutral default.
class WebViewClient {
 public:
  virtual ~WebViewClient() = default;
  // Asked before a message's body is read: a frame the client would refuse costs no
  // parsing. The client logs its refusals.
  virtual bool webViewAcceptsMessage(const std::string& name, const MessageSource& source) {
    (void)name;
    (void)source;
    return true;
  }
  virtual void webViewDidReceiveMessage(const ScriptMessage&) {}
  virtual NavigationDecision webViewDecideNavigation(const NavigationAction&) { return NavigationDecision::allow; }
  virtual NavigationDecision webViewDecideResponse(const NavigationResponse&) { return NavigationDecision::allow; }
  // A request for a new window; no window is ever created for it.
  virtual void webViewRequestedNewWindow(const NavigationAction&) {}
  virtual void webViewDidFinishNavigation(const std::string& url) { (void)url; }
  // A navigation that failed before the page committed (connection refused and the
  // like). Navigations cancelled by a newer one, or turned into a download, are not
  // reported: they are no outage.
  // `failingUrl`: what failed to load; a frame's own load may fail too.
  virtual void webViewDidFailProvisionalNavigation(const std::string& error, const std::string& failingUrl) {
    (void)error;
    (void)failingUrl;
  }
  virtual void webViewDidFailNavigation(const std::string& error, const std::string& failingUrl) {
    (void)error;
    (void)failingUrl;
  }
  virtual void webViewWebContentProcessDidTerminate() {}
  // Panels the page asks for. The completion must be called exactly once; by default
  // every request gets the negative answer at once.
  virtual void webViewRunScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion) {
    (void)dialog;
    completion({});
  }
  virtual void webViewRunFileChooser(const FileChooserRequest& request,
                                     std::function<void(std::optional<std::vector<std::string>>)> completion) {
    (void)request;
    completion(std::nullopt);
  }
  // A navigation became a download. Nobody adopting it leaves it without a destination,
  // which refuses it.
  virtual void webViewDidStartDownload(std::shared_ptr<WebDownload> download) { (void)download; }
  // The print dialog, asked for by this frame; refused unless allowed.
  virtual bool webViewAllowsPrinting(const MessageSource& source) {
    (void)source;
    return false;
  }
  // A login asked for by a server; refused unless allowed.
  virtual bool webViewAllowsAuthentication(const std::string& host, int port) {
    (void)host;
    (void)port;
    return false;
  }
};

// A page in a window. Lives on the main thread; all callbacks arrive there.
class WebView {
 public:
  virtual ~WebView() = default;
  // The client is held weakly; events after it is gone are dropped.
  virtual void setClient(std::weak_ptr<WebViewClient> client) = 0;
  virtual void loadUrl(const std::string& url, double timeoutSeconds) = 0;  // never from cache
  virtual void loadHtml(const std::string& html, const std::string& baseUrl) = 0;
  // The URL of the page shown now; empty when none.
  virtual std::string url() const = 0;
  // Evaluates an expression in the page's main world. With no completion the value is
  // not brought back at all, which spares this process a script engine of its own.
  virtual void evaluate(const std::string& script, std::function<void(ScriptValue)> completion) = 0;
  // Reads a plain value (a probe without side effects) in the page's own process: no
  // user gesture is lent to it, and this process starts no script engine to receive
  // it. Where the page's process cannot answer, it is evaluated as above.
  virtual void read(const std::string& expression, std::function<void(ScriptValue)> completion) {
    evaluate(expression, std::move(completion));
  }
  // Calls an async function body with named arguments in the page world. Arguments are
  // passed as one JSON string (`argumentsJson`) that the body parses, since the engine
  // refuses Boolean and array arguments.
  virtual void callAsync(const std::string& functionBody, const Json& arguments,
                         std::function<void(ScriptValue)> completion) = 0;
  virtual void removeAllDocumentStartScripts() = 0;
  virtual void addDocumentStartScript(const std::string& source) = 0;  // main frame only
};

struct WebViewOptions {
  bool transparent = false;
  std::vector<std::string> messageNames;  // script-message handler names, in order
};

// Makes web views; every web view of the program shares one web context (cookies).
class WebViewProvider {
 public:
  virtual ~WebViewProvider() = default;
  virtual std::shared_ptr<WebView> makeWebView(const WebViewOptions& options) = 0;
};

}  // namespace tovarin
