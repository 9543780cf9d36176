#include "main/page/PageDelivery.h"

#include <cassert>

#include "base/Log.h"

namespace tovarin::PageDelivery {
namespace {

void attemptOffer(MainLoop& loop, std::shared_ptr<const Offer> offer, int retries) {
  const auto& attempt = offer->attempt;
  attempt([&loop, offer = std::move(offer), retries](ScriptValue answer) mutable {
    if (offer->acknowledged(answer)) {
      if (offer->onAcknowledged) offer->onAcknowledged(answer);
      return;
    }
    if (retries < 1) {
      if (offer->onGivenUp) offer->onGivenUp();
      return;
    }
    loop.postAfter(retryInterval, [&loop, offer = std::move(offer), retries]() mutable {
          attemptOffer(loop, std::move(offer), retries - 1);
        }).detach();
  });
}

}  // namespace

bool answeredBooleanOrNumber(const ScriptValue& answer) {
  return answer.kind == ScriptValue::Kind::boolean || answer.kind == ScriptValue::Kind::number;
}

bool answeredTrue(const ScriptValue& answer) { return answer.isTrue(); }

bool answeredBoolean(const ScriptValue& answer) { return answer.kind == ScriptValue::Kind::boolean; }

bool answeredAnyValue(const ScriptValue& answer) {
  return answer.kind != ScriptValue::Kind::null && answer.kind != ScriptValue::Kind::undefined &&
         answer.kind != ScriptValue::Kind::error;
}

void offer(MainLoop& loop, Offer offer, int retries) {
  attemptOffer(loop, std::make_shared<const Offer>(std::move(offer)), retries);
}

std::string deliverScript(const std::string& bridge) {
  const std::string object = "window." + bridge;
  return "var payload = JSON.parse(argumentsJson).payload;\nreturn (" + object + " && " + object + ".deliver) ? " +
         object + ".deliver(payload) : null;";
}

void deliverToPage(MainLoop& loop, std::shared_ptr<WebView> webView, const std::string& bridge, const Json& payload,
                   const std::string& label, int retries) {
  assert(loop.isMainThread());
  if (!webView) return;
  offer(loop,
        {.attempt =
             [webView = std::move(webView), script = deliverScript(bridge), arguments = Json{{"payload", payload}}](
                 std::function<void(ScriptValue)> answered) { webView->callAsync(script, arguments, std::move(answered)); },
         .acknowledged = answeredBooleanOrNumber,
         .onGivenUp = [line = label + ": 结果送不出去，页面一直没有装 " + bridge] { log(line); }},
        retries);
}

void post(MainLoop& loop, std::weak_ptr<WebView> webView, std::string bridge, Json payload, std::string label,
          int retries) {
  loop.post([&loop, webView = std::move(webView), bridge = std::move(bridge), payload = std::move(payload),
             label = std::move(label), retries] { deliverToPage(loop, webView.lock(), bridge, payload, label, retries); });
}

}  // namespace tovarin::PageDelivery
