#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/page/WebView.h"

namespace tovarin {

// A drivable web view: records what the code asks of the page and lets the test answer
// each evaluation and fire every client event by hand. Test thread only.
class FakeWebView final : public WebView {
 public:
  struct Load {
    enum class Kind { url, html };
    Kind kind = Kind::url;
    std::string url;       // the URL, or the base URL of an HTML load
    std::string html;      // the HTML of an HTML load
    double timeoutSeconds = 0;
  };
  // One evaluate() or callAsync() the page has not answered yet.
  struct Call {
    std::string script;    // the expression, or the async function body
    std::optional<Json> arguments;  // set for callAsync
    std::function<void(ScriptValue)> completion;
  };

  explicit FakeWebView(WebViewOptions options) : options_(std::move(options)) {}

  // WebView
  void setClient(std::weak_ptr<WebViewClient> client) override { client_ = std::move(client); }
  void loadUrl(const std::string& url, double timeoutSeconds) override;
  void loadHtml(const std::string& html, const std::string& baseUrl) override;
  std::string url() const override { return url_; }
  void evaluate(const std::string& script, std::function<void(ScriptValue)> completion) override;
  void callAsync(const std::string& functionBody, const Json& arguments,
                 std::function<void(ScriptValue)> completion) override;
  void removeAllDocumentStartScripts() override { documentStartScripts_.clear(); }
  void addDocumentStartScript(const std::string& source) override { documentStartScripts_.push_back(source); }

  // What the code did.
  const WebViewOptions& options() const { return options_; }
  const std::vector<Load>& loads() const { return loads_; }
  const Load* lastLoad() const { return loads_.empty() ? nullptr : &loads_.back(); }
  std::string lastLoadedUrl() const { return loads_.empty() ? std::string() : loads_.back().url; }
  const std::vector<std::string>& documentStartScripts() const { return documentStartScripts_; }
  // Every script evaluated or called so far, answered or not, in order.
  const std::vector<std::string>& scripts() const { return scripts_; }
  const std::deque<Call>& pendingCalls() const { return pending_; }
  bool hasClient() const { return !client_.expired(); }

  // Answers the oldest unanswered evaluation or call; false when none is pending.
  bool answerNext(ScriptValue value);
  // Answers every pending call with the same value (calls made meanwhile wait).
  size_t answerAll(const ScriptValue& value);

  // Events, as the engine would report them. Each returns quietly without a client.
  void postMessage(const std::string& name, Json body, MessageSource source);
  // From the main frame of the local server on port 4173.
  void postMessage(const std::string& name, Json body) { postMessage(name, std::move(body), mainFrameSource(4173)); }
  NavigationDecision decideNavigation(const NavigationAction& action);
  NavigationDecision decideResponse(const NavigationResponse& response);
  void requestNewWindow(const NavigationAction& action);
  // Commits and finishes a navigation: url() becomes `url` first.
  void finishNavigation(const std::string& url);
  // What failed defaults to the last address loaded (empty after HTML).
  void failProvisionalNavigation(const std::string& error, std::optional<std::string> failingUrl = std::nullopt);
  void failNavigation(const std::string& error, std::optional<std::string> failingUrl = std::nullopt);
  void terminateWebContent();

  // A known main-frame source of the local server on the given port.
  static MessageSource mainFrameSource(int port);

 private:
  std::shared_ptr<WebViewClient> client() const { return client_.lock(); }

  const WebViewOptions options_;
  std::weak_ptr<WebViewClient> client_;
  std::string url_;
  std::vector<Load> loads_;
  std::vector<std::string> documentStartScripts_;
  std::vector<std::string> scripts_;
  std::deque<Call> pending_;
};

}  // namespace tovarin
