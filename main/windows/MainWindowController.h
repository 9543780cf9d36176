#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/MainLoop.h"
#include "base/UserDefaults.h"
#include "main/bridges/CaptureBridges.h"
#include "main/config/AppConfig.h"
#include "main/page/AccessibilitySettings.h"
#include "main/page/LocalServer.h"
#include "main/page/PageDelivery.h"
#include "main/page/PageHost.h"
#include "main/page/PanelPresenter.h"
#include "main/page/ServiceRecovery.h"
#include "main/page/WebPanels.h"
#include "main/page/WebView.h"
#include "main/page/Window.h"
#include "main/server/ServerSupervisor.h"
#include "main/server/StartupNotice.h"
#include "main/voice/VoiceBridge.h"
#include "main/windows/FrameAutosave.h"

namespace tovarin {

// The main window: one titled window whose whole content is a web view showing the
// local server's main page, kept in step with the server through outages.
//
// Lives on the main loop: construction, window and page events, page calls, their
// retries and every change to its state. Health results arrive on the supervisor's
// probe queue; there the recovery reads only the supervisor (starting the server may
// block that queue, never the main loop) and hands all window and page work to the main
// loop. Start-up facts are gathered on `background`, since gathering them blocks.
// Every closure handed out holds the controller weakly and does nothing once it is gone.
class MainWindowController final : public PageHostClient,
                                   public WindowClient,
                                   public AccessibilitySettingsObserver,
                                   public std::enable_shared_from_this<MainWindowController> {
 public:
  struct Services {
    // What the window's page host needs; the window uses the same.
    PageHost::Services page;
    UserDefaults& defaults;
    // Text recognition, reminders and file drop; without them those messages are
    // dropped with a log line.
    std::shared_ptr<CaptureBridges> capture = nullptr;
    // The shared voice engine; without it, "voice" messages are dropped.
    std::shared_ptr<VoiceEngine> voice = nullptr;
  };

  static constexpr std::string_view frameKey = "ORVIK.mainFrame";
  static constexpr std::string_view shellClass = "is-native-main";
  // How this window hosts its page, where the two windows differ.
  static const PageHostPolicy& pagePolicy();
  static constexpr std::string_view defaultTitle = "The Tovarin｜岚笺";
  static constexpr Size contentSize{1180, 780};
  static constexpr Size minimumSize{720, 520};
  static constexpr int defaultRetries = PageDelivery::defaultRetries;
  static constexpr double retryInterval = PageDelivery::retryInterval;
  static constexpr double mainPageTimeout = 60;
  static constexpr double recoveryReloadDelay = PageHost::recoveryReloadDelay;
  static constexpr double readinessTimeout = PageHost::readinessTimeout;
  static constexpr double extraWaitAfterNotice = 30;

  // Builds the window and the web view and shows the starting page at once. The window
  // is not ordered front: the application does that once at launch. The title is the
  // bundle's "CFBundleDisplayName" when it has one.
  [[nodiscard]] static std::shared_ptr<MainWindowController> create(AppConfig config, Services services);

  // This window's voice bridge; none without a voice engine.
  const std::shared_ptr<VoiceBridge>& voiceBridge() const { return voice_; }

  // Checks the server, moves the window back onto a screen, orders it front and
  // activates the application.
  void show();
  // Loads the main page unless it has loaded already; with force, always.
  void load(bool force = false);
  // Runs `then` once the main page's load under way has finished or failed; at once
  // when none is under way.
  void afterLoadSettles(std::function<void()> then);
  // The menu's reconnect command: a recovery that keeps a page that has loaded.
  void reload();
  // Shows the window, then opens the conversation in the page and focuses it.
  void openConversation();
  // Shows the window, then a panel for choosing screenshots, photos and text files;
  // the chosen files that can be read go to the file-drop bridge.
  void importMaterials();
  // Runs a named page command, retrying every 0.25 s while the page is not ready. The
  // name must be a plain identifier ("view.tasks"); anything else is refused and logged.
  void runCommand(const std::string& name, int retries = defaultRetries, std::function<void()> completion = {});
  // Hands a target to the page's navigation hook, retrying while the page has none.
  void navigate(const std::map<std::string, std::string>& target, int retries = defaultRetries);
  // Shows the offline page for a notice; a notice of a slowly starting server makes the
  // window wait once more (30 s) while its page has never loaded.
  void showOffline(const StartupNotice& notice);

  const std::shared_ptr<Window>& window() const { return window_; }
  const std::shared_ptr<WebView>& webView() const { return webView_; }
  const std::shared_ptr<PageHost>& pageHost() const { return host_; }
  const std::shared_ptr<CaptureBridges>& capture() const { return capture_; }
  bool loadedOnce() const { return host_->showsPage(); }
  bool waitingAfterNotice() const { return waitingAfterNotice_; }

  // PageHostClient
  void pageFinishedLoading() override;
  void pageLoadSettled() override;
  void pageLostServer(const PageLoadFailure& failure) override;
  void pageContentProcessEnded() override;
  void pageAskedToRetry() override;
  void pageShouldLoad() override;
  void pageRecoveryEnded(bool ready) override;
  void pageShouldShowOffline(const StartupNotice& notice) override;

  // WindowClient
  void windowDidMoveOrResize(const Rect& frame) override;
  bool windowShouldClose() override;
  void windowScreensDidChange() override;

  // AccessibilitySettingsObserver
  void accessibilitySettingsDidChange() override;

  // Only create() makes one; the key keeps make_shared usable.
  struct CreateKey {
    explicit CreateKey() = default;
  };
  MainWindowController(CreateKey, AppConfig config, Services services);

 private:
  void build();
  void prepareForShow();
  void startRecovery(std::string trigger);
  void finishExtraWait(bool ready);
  void loadMainPage();
  void loadSettled();

  void handleChromeMessage(const ScriptMessage& message);
  void applyNativeGround();
  std::function<void(std::function<void(ScriptValue)>)> evaluateWhileAlive(std::string script);

  const AppConfig config_;
  const LocalServer localServer_;
  const PageHost::Services page_;
  MainLoop& loop_;
  Desktop& desktop_;
  AccessibilitySettings& accessibility_;
  UserDefaults& defaults_;
  const std::shared_ptr<CaptureBridges> capture_;
  const std::shared_ptr<VoiceEngine> voiceEngine_;
  FrameAutosave frameAutosave_;

  // Main loop only, all of them.
  std::shared_ptr<Window> window_;
  std::shared_ptr<PageHost> host_;
  std::shared_ptr<WebView> webView_;
  std::shared_ptr<VoiceBridge> voice_;
  bool loadUnderWay_ = false;
  std::vector<std::function<void()>> afterLoad_;
  bool waitingAfterNotice_ = false;
  std::optional<Rgba> pageChrome_;  // the page's colour; none while the native ground shows
};

}  // namespace tovarin
