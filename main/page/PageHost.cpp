#include "main/page/PageHost.h"

#include <cassert>

#include "base/Log.h"
#include "base/UrlComponents.h"
#include "main/page/AccessibilityDisplayBridge.h"
#include "main/page/FrameNavigation.h"
#include "main/page/WebViewFactory.h"

namespace tovarin {

std::shared_ptr<PageHost> PageHost::create(Services services, LocalServer server, PageHostPolicy policy,
                                           std::weak_ptr<PageHostClient> client) {
  return std::make_shared<PageHost>(CreateKey{}, std::move(services), std::move(server), policy, std::move(client));
}

PageHost::PageHost(CreateKey, Services services, LocalServer server, PageHostPolicy policy,
                   std::weak_ptr<PageHostClient> client)
    : loop_(services.loop),
      server_(services.server),
      desktop_(services.desktop),
      webViews_(services.webViews),
      accessibility_(services.accessibility),
      localServer_(std::move(server)),
      policy_(policy),
      client_(std::move(client)),
      panels_(std::make_shared<WebPanels>(loop_, static_cast<int>(localServer_.port()), std::string(policy_.pageObject),
                                          std::move(services.panelPresenter), std::move(services.downloadFolders))),
      serviceRecovery_(loop_, services.background, std::move(services.server)) {}

// Handlers ---------------------------------------------------------------------------------

void PageHost::addHandler(std::string name, PageMessageHandler::Handler handler) {
  assert(loop_.isMainThread() && !webView_);
  // The window's handlers run only while the window is there, so they may hold it plainly.
  add(std::make_shared<PageMessageHandler>(
      name,
      [this, name](const MessageSource& source) { return admitsFromPage(name, source); },
      [this, handler = std::move(handler)](const ScriptMessage& message) {
        if (auto client = client_.lock()) handler(message);
      }));
}

void PageHost::addBridge(std::string name, std::shared_ptr<PageBridge> bridge) {
  assert(loop_.isMainThread() && !webView_);
  if (bridge) {
    assert(bridge->messageName() == name);
    return add(std::move(bridge));
  }
  addHandler(std::move(name), [this](const ScriptMessage& message) { dropForMissingBridge(message); });
}

void PageHost::add(std::shared_ptr<PageBridge> bridge) {
  const std::string name(bridge->messageName());
  if (!bridges_.add(std::move(bridge))) log("page: a second handler for " + name + " refused");
}

const std::shared_ptr<WebView>& PageHost::makeWebView(std::weak_ptr<Window> window) {
  assert(loop_.isMainThread() && !webView_);
  add(panels_);
  addHandler(std::string(WebViewFactory::startupHandlerName),
             [this](const ScriptMessage& message) { handleStartupMessage(message); });
  webView_ = WebViewFactory::make(webViews_, policy_.transparent, policy_.shellClass,
                                  AccessibilityDisplayBridge::currentClasses(accessibility_), weak_from_this(),
                                  bridges_.messageNames());
  panels_->attach(std::move(window), webView_);
  return webView_;
}

// Every handler of the window's own hears only the page itself, or a frame of its own origin.
bool PageHost::admitsFromPage(const std::string& name, const MessageSource& source) {
  if (source.trustedMainFrame() || panels_->trusts(source)) return true;
  if (dropLog_.allows(name, loop_.now())) log(name + ": message from a frame that is not the page dropped");
  return false;
}

// The bridges this window was made without; their messages end here, unanswered.
void PageHost::dropForMissingBridge(const ScriptMessage& message) {
  if (dropLog_.allows(message.name, loop_.now())) {
    log(message.name + ": " + std::string(policy_.missingBridgeLine) + ", message dropped");
  }
}

void PageHost::handleStartupMessage(const ScriptMessage& message) {
  // Only the page shown in the window may ask for a retry, never a frame inside it.
  if (!message.source.trustedMainFrame()) return;
  if (!message.body.is_object() || jsonString(message.body, "type") != "retry") return;
  if (showsPage_) return;
  if (auto client = client_.lock()) client->pageAskedToRetry();
}

void PageHost::applyAccessibility() {
  assert(loop_.isMainThread());
  AccessibilityDisplayBridge::apply(*webView_, policy_.shellClass, accessibility_);
}

// Recovery -------------------------------------------------------------------------------------

void PageHost::recover(Recovery recovery) {
  assert(loop_.isMainThread());
  serviceRecovery_.assess(weak_from_this(), recoveryReloadDelay,
                          [weak = weak_from_this(), recovery](ServiceRecovery::Finding finding) {
                            auto self = weak.lock();
                            if (!self) return;
                            switch (finding) {
                              case ServiceRecovery::Finding::usable:
                                self->recoveryFound(recovery, true);
                                break;
                              case ServiceRecovery::Finding::starting:
                                self->waitForServer(recovery);
                                break;
                              case ServiceRecovery::Finding::unusable:
                                self->recoveryFound(recovery, false);
                                break;
                            }
                          },
                          recovery.asker);
}

void PageHost::waitForServer(const Recovery& recovery) {
  assert(loop_.isMainThread());
  server_->waitUntilReady(readinessTimeout, [weak = weak_from_this(), recovery](bool ready) {
    if (auto self = weak.lock()) self->recoveryFound(recovery, ready);
  });
}

void PageHost::recoveryFound(const Recovery& recovery, bool ready) {
  assert(loop_.isMainThread());
  auto client = client_.lock();
  if (!client) return;
  if (recovery.preservePage && showsPage_) {
    client->pageRecoveryEnded(ready);
  } else if (ready) {
    client->pageShouldLoad();
  } else if (recovery.showFailure) {
    diagnose(recovery.trigger, recovery.retried);
  }
}

void PageHost::diagnose(const std::string& trigger, bool retried) {
  assert(loop_.isMainThread());
  serviceRecovery_.diagnose(weak_from_this(), trigger, retried, [weak = client_](StartupNotice notice) {
    if (auto client = weak.lock()) client->pageShouldShowOffline(notice);
  });
}

// Page messages ----------------------------------------------------------------------------

bool PageHost::webViewAcceptsMessage(const std::string& name, const MessageSource& source) {
  assert(loop_.isMainThread());
  return bridges_.admits(name, source);
}

void PageHost::webViewDidReceiveMessage(const ScriptMessage& message) {
  assert(loop_.isMainThread());
  bridges_.handle(message);
}

// Navigation ---------------------------------------------------------------------------------

// Only the local server's own pages stay in the window. Outside web addresses go to the
// browser; every other scheme (our own URL scheme, mail, files) is refused outright.
NavigationDecision PageHost::webViewDecideNavigation(const NavigationAction& action) {
  assert(loop_.isMainThread());
  if (auto download = panels_->downloadPolicy(action)) return *download;
  if (action.url.empty()) return NavigationDecision::allow;
  // A sub-frame's web navigation stays inside the page that embeds it. A new-window
  // request has no frame yet and is judged like any other navigation.
  if (!action.opensNewWindow && !action.targetsMainFrame) {
    return FrameNavigation::mayLoadInFrame(action.url) ? NavigationDecision::allow : NavigationDecision::cancel;
  }
  const auto url = UrlComponents::parse(action.url);
  // A blank main frame is this program's own HTML (the starting and offline pages);
  // a page that blanks the window would leave nothing to recover.
  if (url && url->scheme == "about") {
    return action.programInitiated ? NavigationDecision::allow : NavigationDecision::cancel;
  }
  if (localServer_.serves(action.url)) return NavigationDecision::allow;
  if (FrameNavigation::isWebAddress(action.url)) desktop_.openInBrowser(action.url);
  return NavigationDecision::cancel;
}

NavigationDecision PageHost::webViewDecideResponse(const NavigationResponse& response) {
  assert(loop_.isMainThread());
  if (auto download = panels_->downloadPolicy(response)) return *download;
  if (!response.isMeantForSaving()) return NavigationDecision::allow;
  // Meant to be saved, but from an address nothing may be downloaded from. Refusing it
  // keeps the page; showing it would replace the page with the file, or fail the load
  // and make the recovery reload the page for an outage that is not one.
  log("download: refused " + response.url);
  return NavigationDecision::cancel;
}

void PageHost::webViewRequestedNewWindow(const NavigationAction& action) {
  assert(loop_.isMainThread());
  if (policy_.quietAboutNewWindowsWithoutAddress && action.url.empty()) return;
  // Script may open a window only on the user's action, as on the platform the pages
  // were written for; a frame must not open the browser or raise a window by itself.
  if (!action.userGesture) {
    if (dropLog_.allows("window.open", loop_.now())) log("new window without a user action refused: " + action.url);
    return;
  }
  if (policy_.bareMainPageShowsMainWindow && localServer_.isBareMainPage(action.url)) {
    if (auto client = client_.lock()) client->pageOpensMainWindow();
    return;
  }
  // Never a new window. Only web addresses leave for the browser: a page must not be
  // able to open files or other programs' URL schemes through the desktop.
  if (FrameNavigation::isWebAddress(action.url)) desktop_.openInBrowser(action.url);
}

// Loads ----------------------------------------------------------------------------------------

void PageHost::webViewDidFinishNavigation(const std::string&) {
  assert(loop_.isMainThread());
  showsPage_ = FrameNavigation::stillShowsPage(webView_->url(), localServer_, policy_.page, showsPage_);
  if (auto client = client_.lock()) {
    client->pageFinishedLoading();
    client->pageLoadSettled();
  }
}

void PageHost::webViewDidFailProvisionalNavigation(const std::string& error, const std::string& failingUrl) {
  assert(loop_.isMainThread());
  failed({false, error}, failingUrl);
}

void PageHost::webViewDidFailNavigation(const std::string& error, const std::string& failingUrl) {
  assert(loop_.isMainThread());
  failed({true, error}, failingUrl);
}

void PageHost::failed(const PageLoadFailure& failure, const std::string& failingUrl) {
  auto client = client_.lock();
  if (!client) return;
  client->pageLoadSettled();
  if (!FrameNavigation::isServerOutage(failingUrl, localServer_)) return;
  client->pageLostServer(failure);
}

void PageHost::webViewWebContentProcessDidTerminate() {
  assert(loop_.isMainThread());
  if (auto client = client_.lock()) client->pageContentProcessEnded();
}

// Panels -------------------------------------------------------------------------------------

void PageHost::webViewRunScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion) {
  assert(loop_.isMainThread());
  panels_->runScriptDialog(dialog, std::move(completion));
}

void PageHost::webViewRunFileChooser(const FileChooserRequest& request,
                                     std::function<void(std::optional<std::vector<std::string>>)> completion) {
  assert(loop_.isMainThread());
  panels_->openPanel(request, request.source, std::move(completion));
}

void PageHost::webViewDidStartDownload(std::shared_ptr<WebDownload> download) {
  assert(loop_.isMainThread());
  panels_->adopt(download);
}

bool PageHost::webViewAllowsPrinting(const MessageSource& source) { return panels_->trusts(source); }

bool PageHost::webViewAllowsAuthentication(const std::string& host, int port) {
  return panels_->allowsAuthentication(host, port);
}

}  // namespace tovarin
