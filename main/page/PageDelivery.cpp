#include "main/page/PageDelivery.h"

#include <cassert>

#include "base/Log.h"

namespace tovarin::PageDelivery {
namespace {

bool acknowledged(const ScriptValue& value) {
  return value.kind == ScriptValue::Kind::boolean || value.kind == ScriptValue::Kind::number;
}

}  // namespace

std::string deliverScript(const std::string& bridge) {
  const std::string object = "window." + bridge;
  return "var payload = JSON.parse(argumentsJson).payload;\nreturn (" + object + " && " + object + ".deliver) ? " +
         object + ".deliver(payload) : null;";
}

void deliverToPage(MainLoop& loop, std::shared_ptr<WebView> webView, const std::string& bridge, const Json& payload,
                   const std::string& label, int retries) {
  assert(loop.isMainThread());
  if (!webView) return;
  WebView& view = *webView;
  view.callAsync(deliverScript(bridge), Json{{"payload", payload}},
                 [&loop, webView = std::move(webView), bridge, payload, label, retries](ScriptValue value) mutable {
                   if (acknowledged(value)) return;
                   if (retries < 1) {
                     log(label + ": 结果送不出去，页面一直没有装 " + bridge);
                     return;
                   }
                   loop.postAfter(retryInterval, [&loop, webView = std::move(webView), bridge, payload, label,
                                                  retries]() mutable {
                         loop.post([&loop, webView = std::move(webView), bridge, payload, label, retries]() mutable {
                           deliverToPage(loop, std::move(webView), bridge, payload, label, retries - 1);
                         });
                       }).detach();
                 });
}

void post(MainLoop& loop, std::weak_ptr<WebView> webView, std::string bridge, Json payload, std::string label,
          int retries) {
  loop.post([&loop, webView = std::move(webView), bridge = std::move(bridge), payload = std::move(payload),
             label = std::move(label), retries] { deliverToPage(loop, webView.lock(), bridge, payload, label, retries); });
}

}  // namespace tovarin::PageDelivery
