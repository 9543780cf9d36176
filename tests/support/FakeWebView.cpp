#include "tests/support/FakeWebView.h"

namespace tovarin {

void FakeWebView::loadUrl(const std::string& url, double timeoutSeconds) {
  loads_.push_back({Load::Kind::url, url, {}, timeoutSeconds});
}

void FakeWebView::loadHtml(const std::string& html, const std::string& baseUrl) {
  loads_.push_back({Load::Kind::html, baseUrl, html, 0});
}

void FakeWebView::evaluate(const std::string& script, std::function<void(ScriptValue)> completion) {
  scripts_.push_back(script);
  pending_.push_back({script, std::nullopt, std::move(completion)});
}

void FakeWebView::callAsync(const std::string& functionBody, const Json& arguments,
                            std::function<void(ScriptValue)> completion) {
  scripts_.push_back(functionBody);
  pending_.push_back({functionBody, arguments, std::move(completion)});
}

bool FakeWebView::answerNext(ScriptValue value) {
  if (pending_.empty()) return false;
  Call call = std::move(pending_.front());
  pending_.pop_front();
  // The completion may evaluate again (a retry); that call queues behind the others.
  if (call.completion) call.completion(std::move(value));
  return true;
}

size_t FakeWebView::answerAll(const ScriptValue& value) {
  size_t count = pending_.size();
  for (size_t i = 0; i < count; ++i) answerNext(value);
  return count;
}

void FakeWebView::postMessage(const std::string& name, Json body, MessageSource source) {
  if (auto c = client()) c->webViewDidReceiveMessage(ScriptMessage{name, std::move(body), std::move(source)});
}

NavigationDecision FakeWebView::decideNavigation(const NavigationAction& action) {
  auto c = client();
  return c ? c->webViewDecideNavigation(action) : NavigationDecision::allow;
}

NavigationDecision FakeWebView::decideResponse(const NavigationResponse& response) {
  auto c = client();
  return c ? c->webViewDecideResponse(response) : NavigationDecision::allow;
}

void FakeWebView::requestNewWindow(const NavigationAction& action) {
  if (auto c = client()) c->webViewRequestedNewWindow(action);
}

void FakeWebView::finishNavigation(const std::string& url) {
  url_ = url;
  if (auto c = client()) c->webViewDidFinishNavigation(url);
}

void FakeWebView::failProvisionalNavigation(const std::string& error, std::optional<std::string> failingUrl) {
  if (auto c = client()) c->webViewDidFailProvisionalNavigation(error, failingUrl.value_or(lastLoadedUrl()));
}

void FakeWebView::failNavigation(const std::string& error, std::optional<std::string> failingUrl) {
  if (auto c = client()) c->webViewDidFailNavigation(error, failingUrl.value_or(lastLoadedUrl()));
}

void FakeWebView::terminateWebContent() {
  if (auto c = client()) c->webViewWebContentProcessDidTerminate();
}

MessageSource FakeWebView::mainFrameSource(int port) {
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  return MessageSource{true, true, origin + "/index.html", origin};
}

}  // namespace tovarin
