#include "main/page/WebViewFactory.h"

#include <cassert>

#include "base/Log.h"
#include "main/page/AccessibilityDisplayBridge.h"
#include "tokens/TovarinMark.h"
#include "tokens/TovarinWebTokens.h"

namespace tovarin::WebViewFactory {
namespace {

[[maybe_unused]] bool isClassName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string pageHead() {
  std::string head =
      "<!doctype html><html lang=\"zh-Hans\"><meta charset=\"utf-8\"><title>岚笺</title>\n<style>\n";
  head += TovarinWebTokens::css();
  return head;
}

constexpr std::string_view startingRules = R"(
body{gap:12px}
.mark{animation:breathe 1.4s var(--ease) infinite}
@keyframes breathe{0%,100%{opacity:.38;transform:translateY(1px)}50%{opacity:1;transform:translateY(0)}}
@media (prefers-reduced-motion:reduce){.mark{animation:none;opacity:1;transform:none}}
.caption{font-size:var(--fs-small);color:var(--text-muted)}
)";

constexpr std::string_view offlineRules = R"(
body{gap:14px;padding:32px 24px}
h1{margin:2px 0 0;font-size:var(--fs-lead);font-weight:600;letter-spacing:-.01em;color:var(--text)}
p{margin:0;max-width:34em;color:var(--text-muted)}
.note{font-size:var(--fs-small);color:var(--text-faint)}
.btn{font:inherit;font-size:var(--fs-small);min-height:30px;padding:5px 16px;cursor:pointer;
     border:1px solid transparent;border-radius:var(--radius-sm);background:var(--accent);
     color:var(--accent-text);transition:background var(--dur-fast) var(--ease)}
.btn:hover{background:var(--accent-hover)}
.btn:active{background:var(--accent-hover);transform:translateY(.5px)}
.btn:disabled{cursor:default;opacity:.72}
details{max-width:38em;width:100%}
summary{display:inline-flex;align-items:center;gap:7px;cursor:pointer;list-style:none;
        font-size:var(--fs-micro);color:var(--text-faint);padding:5px 10px;border-radius:var(--radius-sm);
        transition:color var(--dur-fast) var(--ease),background var(--dur-fast) var(--ease)}
summary::-webkit-details-marker{display:none}
summary:hover{color:var(--text-muted);background:var(--surface-hover)}
summary::before{content:"";flex:0 0 auto;width:5px;height:5px;border-right:1.5px solid currentColor;
                border-bottom:1.5px solid currentColor;transform:rotate(-45deg);
                transition:transform var(--dur-fast) var(--ease)}
details[open] summary::before{transform:rotate(45deg)}
details[open] .on-closed{display:none}
details:not([open]) .on-open{display:none}
.diag{margin:6px 0 0;padding:10px 12px;text-align:left;word-break:break-word;white-space:pre-line;
      font-family:ui-monospace,SFMono-Regular,Menlo,monospace;font-size:var(--fs-micro);line-height:1.7;
      color:var(--text-faint);background:var(--surface);border:1px solid var(--border);border-radius:var(--radius)}
)";

// Runs once when parsed. Without the handler (a view that cannot retry) the button is
// hidden; a click while the retry is under way posts nothing more. The window replaces
// the whole page when the retry ends, so the button never needs to come back.
std::string retryScript() {
  std::string script = R"(<script>
(function () {
  var button = document.querySelector('[data-retry]');
  if (!button) return;
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers[')";
  script += startupHandlerName;
  script += R"('];
  if (!handler) { button.hidden = true; return; }
  button.addEventListener('click', function () {
    if (button.disabled) return;
    button.disabled = true;
    button.setAttribute('aria-busy', 'true');
    button.textContent = '正在重试…';
    handler.postMessage({type: 'retry'});
  });
})();
</script>
)";
  return script;
}

}  // namespace

std::shared_ptr<WebView> make(WebViewProvider& provider, bool transparent, std::string_view shellClass,
                              const std::vector<std::string>& accessibilityClasses,
                              std::weak_ptr<WebViewClient> client, const std::vector<std::string>& messageNames) {
  auto webView = provider.makeWebView(WebViewOptions{transparent, messageNames});
  installDocumentStartScripts(*webView, shellClass, accessibilityClasses);
  webView->setClient(std::move(client));
  return webView;
}

void installDocumentStartScripts(WebView& webView, std::string_view shellClass,
                                 const std::vector<std::string>& accessibilityClasses) {
  // Our own constant, but it is written into script text: a release build must refuse
  // anything that is not a plain class name as surely as a debug build.
  std::string source;
  if (isClassName(shellClass)) {
    source = "document.documentElement.classList.add('";
    source += shellClass;
    source += "');";
  } else {
    log("web view: refused a shell class that is no class name");
  }
  source += AccessibilityDisplayBridge::script(accessibilityClasses);
  webView.removeAllDocumentStartScripts();
  webView.addDocumentStartScript(source);
}

std::string escapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string startingHTML() {
  std::string page = pageHead();
  page += startingRules;
  page += "</style>\n";
  page += TovarinMark::svg(28);
  page += "\n<div class=\"caption\" role=\"status\">正在打开岚笺…</div>\n";
  return page;
}

std::string offlineHTML(const StartupNotice& notice, bool compact) {
  const std::string headline = escapeHtml(notice.headline);
  const std::string summary = escapeHtml(compact ? notice.shortReason : notice.summary);
  const std::string detail = escapeHtml(notice.detail);

  std::string page = pageHead();
  page += "\n";
  page += TovarinWebTokens::focusRing;
  page += offlineRules;
  page += "</style>\n";
  page += TovarinMark::svg(compact ? 28 : 34);
  page += "\n<h1 data-offline-headline>" + headline + "</h1>\n";
  page += "<p data-offline-summary>" + summary + "</p>\n";
  if (notice.retried) {
    page += "<p class=\"note\" role=\"status\">" + escapeHtml(StartupNotice::retriedNote) + "</p>\n";
  }
  page += "<button class=\"btn\" type=\"button\" data-retry>重试</button>\n";
  page += "<details><summary><span class=\"on-closed\">查看诊断</span><span class=\"on-open\">收起诊断</span></summary>"
          "<p class=\"diag\" data-offline-detail>" + detail + "</p></details>\n";
  page += retryScript();
  return page;
}

}  // namespace tovarin::WebViewFactory
