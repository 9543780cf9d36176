#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "main/page/AccessibilitySettings.h"
#include "main/page/LocalServer.h"
#include "main/page/PageBridgeTable.h"
#include "main/page/PageHostClient.h"
#include "main/page/PageHostPolicy.h"
#include "main/page/PageMessageHandler.h"
#include "main/page/PanelPresenter.h"
#include "main/page/ServiceRecovery.h"
#include "main/page/WebPanels.h"
#include "main/page/WebView.h"
#include "main/page/Window.h"

namespace tovarin {

// Hosts one window's page of the local server: its web view's client, its handler
// table, the panels (dialogs, file choosers, downloads, printing, logins), what may load
// in it and what leaves for the browser, and which failed loads mean the server is out.
// Both windows own one; what they decide differently is their PageHostPolicy and their
// PageHostClient.
//
// Lives on the main loop. Holds its client weakly.
class PageHost final : public WebViewClient, public std::enable_shared_from_this<PageHost> {
 public:
  // A usable server's page is loaded this long after the trigger, a starting one is
  // waited for this long.
  static constexpr double recoveryReloadDelay = 0.5;
  static constexpr double readinessTimeout = 12;

  struct Services {
    MainLoop& loop;
    TaskRunner& background;
    std::shared_ptr<ServerSupervisor> server;
    Desktop& desktop;
    WebViewProvider& webViews;
    AccessibilitySettings& accessibility;
    // Runs the page's dialogs and file panels; none: every panel ends as cancelled.
    std::shared_ptr<PanelPresenter> panelPresenter = nullptr;
    WebPanels::Folders downloadFolders = {};
  };

  [[nodiscard]] static std::shared_ptr<PageHost> create(Services services, LocalServer server, PageHostPolicy policy,
                                                        std::weak_ptr<PageHostClient> client);

  // The window's handlers, in the order the web view registers them, before it is made.
  // A handler of the window's own hears only the page itself or a frame the page
  // vouches for; the refusal is logged. It runs only while the client is there.
  void addHandler(std::string name, PageMessageHandler::Handler handler);
  // A bridge with its own rule for frames. Without one (the window was made without its
  // service), the name stays registered and its messages end with a log line.
  void addBridge(std::string name, std::shared_ptr<PageBridge> bridge);
  // Makes the web view with the handlers added so far, then the panels' "download" and
  // the offline page's "startup", and shows it nothing yet.
  const std::shared_ptr<WebView>& makeWebView(std::weak_ptr<Window> window);

  const std::shared_ptr<WebView>& webView() const { return webView_; }
  const LocalServer& server() const { return localServer_; }
  // The window's page of the local server is what the web view shows.
  bool showsPage() const { return showsPage_; }
  // The page went with its web process.
  void forgetPage() { showsPage_ = false; }
  // The desktop's accessibility settings changed: the page's root classes follow.
  void applyAccessibility();

  // One run of the recovery after an outage trigger.
  struct Recovery {
    // What made the window look again; the notice quotes it.
    std::string trigger;
    // A page that shows stays, and the window hears how the recovery ended instead.
    bool preservePage = false;
    // The notice says that a retry was made.
    bool retried = false;
    // A server that stays out ends in the offline page; otherwise the window stays as it is.
    bool showFailure = true;
    ServiceRecovery::Asker asker = ServiceRecovery::Asker::program;
  };
  // Finds out whether the server can serve the page (starting it where allowed) and asks
  // the window to load it, or to show why not.
  void recover(Recovery recovery);
  // Explains an outage with a fresh start-up notice, for the window's offline page.
  void diagnose(const std::string& trigger, bool retried);

  // WebViewClient
  bool webViewAcceptsMessage(const std::string& name, const MessageSource& source) override;
  void webViewDidReceiveMessage(const ScriptMessage& message) override;
  NavigationDecision webViewDecideNavigation(const NavigationAction& action) override;
  NavigationDecision webViewDecideResponse(const NavigationResponse& response) override;
  void webViewRequestedNewWindow(const NavigationAction& action) override;
  void webViewDidFinishNavigation(const std::string& url) override;
  void webViewDidFailProvisionalNavigation(const std::string& error, const std::string& failingUrl) override;
  void webViewDidFailNavigation(const std::string& error, const std::string& failingUrl) override;
  void webViewWebContentProcessDidTerminate() override;
  void webViewRunScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion) override;
  void webViewRunFileChooser(const FileChooserRequest& request,
                             std::function<void(std::optional<std::vector<std::string>>)> completion) override;
  void webViewDidStartDownload(std::shared_ptr<WebDownload> download) override;
  bool webViewAllowsPrinting(const MessageSource& source) override;
  bool webViewAllowsAuthentication(const std::string& host, int port) override;

  // Only create() makes one; the key keeps make_shared usable.
  struct CreateKey {
    explicit CreateKey() = default;
  };
  PageHost(CreateKey, Services services, LocalServer server, PageHostPolicy policy,
           std::weak_ptr<PageHostClient> client);

 private:
  bool admitsFromPage(const std::string& name, const MessageSource& source);
  void dropForMissingBridge(const ScriptMessage& message);
  void handleStartupMessage(const ScriptMessage& message);
  void add(std::shared_ptr<PageBridge> bridge);
  void failed(const PageLoadFailure& failure, const std::string& failingUrl);
  void waitForServer(const Recovery& recovery);
  void recoveryFound(const Recovery& recovery, bool ready);

  MainLoop& loop_;
  const std::shared_ptr<ServerSupervisor> server_;
  Desktop& desktop_;
  WebViewProvider& webViews_;
  AccessibilitySettings& accessibility_;
  const LocalServer localServer_;
  const PageHostPolicy policy_;
  const std::weak_ptr<PageHostClient> client_;
  const std::shared_ptr<WebPanels> panels_;
  ServiceRecovery serviceRecovery_;

  // Main loop only, all of them.
  PageBridgeTable bridges_;
  std::shared_ptr<WebView> webView_;
  bool showsPage_ = false;
  // Refusals are logged at most once a second per handler: a frame can post thousands.
  LogThrottle dropLog_;
};

}  // namespace tovarin
