#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/MainLoop.h"
#include "base/UserDefaults.h"
#include "main/config/AppConfig.h"
#include "main/page/AccessibilitySettings.h"
#include "main/page/LocalServer.h"
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
#include "main/windows/StickyChrome.h"
#include "main/windows/StickyChromeSurface.h"
#include "main/windows/StickyLevel.h"
#include "main/windows/StickySettingsExchange.h"
#include "main/windows/StickySpaceScope.h"

namespace tovarin {

// The floating sticky window: a borderless window beside the main window showing the
// local server's widget page, with its level, workspace scope, opacity, remembered
// frame, pointer handling, page routing and recovery from server outages.
//
// Lives on the main loop: construction, window, page and pointer events, page calls and
// every change to its state. Health results arrive on the supervisor's probe queue;
// there the recovery reads only the supervisor (starting the server may block that
// queue, never the main loop) and hands all window and page work to the main loop.
// Start-up facts are gathered on `background`, since gathering them blocks. Every
// closure handed out holds the controller weakly and does nothing once it is gone.
class StickyWindowController final : public PageHostClient,
                                     public WindowClient,
                                     public AccessibilitySettingsObserver,
                                     public std::enable_shared_from_this<StickyWindowController> {
 public:
  struct Services {
    // What the window's page host needs; the window uses the same.
    PageHost::Services page;
    UserDefaults& defaults;
    StickyChromeSurfaceProvider& chromeSurfaces;
    // The shared voice engine; without it, "voice" messages are dropped.
    std::shared_ptr<VoiceEngine> voice = nullptr;
  };

  static constexpr std::string_view frameKey = "ORVIK.stickyFrame";
  static constexpr std::string_view levelKey = "ORVIK.stickyLevel";
  static constexpr std::string_view spaceScopeKey = "ORVIK.stickySpaceScope";
  static constexpr std::string_view opacityKey = "ORVIK.stickyOpacity";
  static constexpr std::string_view shellClass = "is-native";
  // How this window hosts its page, where the two windows differ.
  static const PageHostPolicy& pagePolicy();
  static constexpr std::string_view retryTrigger = "在浮窗上点了「重试」";
  static constexpr double widgetPageTimeout = 60;
  static constexpr double recoveryReloadDelay = PageHost::recoveryReloadDelay;
  static constexpr double readinessTimeout = PageHost::readinessTimeout;
  // Distance of the first window from the top-right corner of the primary screen.
  static constexpr double defaultInset = 24;
  // A stored opacity below this (an absent key reads as 0) means fully opaque.
  static constexpr double minimumOpacity = 0.3;
  // Page "navigation" values longer than this are refused.
  static constexpr size_t maximumNavigationValueLength = 512;

  // The main-window surfaces the page may open.
  static const std::vector<std::string>& navigationSurfaces();

  // Builds the window (off screen) and the web view, applies the stored level, scope
  // and opacity, restores or places the frame and shows the starting page.
  [[nodiscard]] static std::shared_ptr<StickyWindowController> create(AppConfig config, Services services);

  // This window's voice bridge; none without a voice engine.
  const std::shared_ptr<VoiceBridge>& voiceBridge() const { return voice_; }

  // The user shows the window: it comes on screen and, unless it sits on the desktop
  // level, takes the focus.
  void show();
  void hide();
  bool isVisible() const;
  // On screen without taking the focus; checks the server while the page has never loaded.
  void present();
  // Off screen; the page keeps running.
  void dismiss();

  StickyLevel level() const;
  // Stores, applies and announces a level (the settings exchange uses this one).
  void updateLevel(StickyLevel level);
  // The user picks a level: as updateLevel, and the change goes to the page and server.
  void setLevel(StickyLevel level);
  StickySpaceScope spaceScope() const;
  void updateSpaceScope(StickySpaceScope scope);
  void setSpaceScope(StickySpaceScope scope);
  // The user's chosen opacity, as stored.
  double opacity() const;
  void setOpacity(double opacity);
  // What the window shows: fully opaque when the desktop asks for reduced transparency
  // or the stored opacity is below the minimum.
  double effectiveOpacity() const;

  void load();
  // Replaces the page with the compact offline page, on the next turn of the main loop.
  void showOffline(const StartupNotice& notice);
  // Reads the shared settings back from the server through the settings exchange, which
  // then applies them to this window.
  void syncFromServer();
  void setSettingsExchange(std::weak_ptr<StickySettingsExchange> exchange) { settingsExchange_ = std::move(exchange); }

  // Level, scope or opacity changed (the status menu rebuilds itself).
  std::function<void()> onLevelChanged;
  // The window came on screen or went off it, whoever asked: the user, the server's
  // settings, the close button (the status menu names what its item will do).
  std::function<void()> onVisibilityChanged;
  // The page asks the main window to open a surface; the body is passed whole.
  std::function<void(const std::map<std::string, std::string>&)> onNavigate;
  // A link in the page opened the main page: bring up the main window.
  std::function<void()> onShowMain;

  const std::shared_ptr<Window>& window() const { return window_; }
  const std::shared_ptr<WebView>& webView() const { return webView_; }
  const std::shared_ptr<PageHost>& pageHost() const { return host_; }
  const std::shared_ptr<StickyChrome>& chrome() const { return chrome_; }
  bool loadedRealPage() const { return host_->showsPage(); }
  bool pageReported() const { return pageReported_; }

  // PageHostClient
  void pageLoadSettled() override;
  void pageLostServer(const PageLoadFailure& failure) override;
  void pageAskedToRetry() override;
  void pageShouldLoad() override;
  void pageShouldShowOffline(const StartupNotice& notice) override;
  void pageOpensMainWindow() override;

  // WindowClient
  void windowDidMoveOrResize(const Rect& frame) override;
  bool windowShouldClose() override;
  void windowScreensDidChange() override;

  // AccessibilitySettingsObserver
  void accessibilitySettingsDidChange() override;

  struct CreateKey {
    explicit CreateKey() = default;
  };
  StickyWindowController(CreateKey, AppConfig config, Services services);

 private:
  void build();
  void placeWindow();
  void clampSize();
  void applyWindowPolicy();
  void applyTransparencyPolicy();
  void announceVisibility(bool wasVisible);
  void setSetting(const std::string& key, const std::string& value, const std::string& fallback);

  void recoverQuietly();
  void loadWidgetPage();

  void handleNavigationMessage(const ScriptMessage& message);
  void handleHoverMessage(const ScriptMessage& message);
  void handleWindowStateMessage(const ScriptMessage& message);

  void pointerChanged(bool inside, StickyZone zone);
  void reapplyHover();

  const AppConfig config_;
  const LocalServer localServer_;
  const PageHost::Services page_;
  MainLoop& loop_;
  Desktop& desktop_;
  AccessibilitySettings& accessibility_;
  UserDefaults& defaults_;
  const std::shared_ptr<VoiceEngine> voiceEngine_;
  FrameAutosave frameAutosave_;
  StickyChromeSurfaceProvider& chromeSurfaces_;

  // Main loop only, all of them.
  std::shared_ptr<Window> window_;
  std::shared_ptr<PageHost> host_;
  std::shared_ptr<WebView> webView_;
  std::shared_ptr<VoiceBridge> voice_;
  std::shared_ptr<StickyChromeSurface> surface_;
  std::shared_ptr<StickyChrome> chrome_;
  std::weak_ptr<StickySettingsExchange> settingsExchange_;
  bool pageReported_ = false;
  bool anyPageRequested_ = false;  // until then the view has no page and no web process
  bool widgetPageRequested_ = false;  // a load of the widget page is under way
  bool hoverInteractive_ = false;
  bool ringEmphasized_ = false;
  Rect lastFrame_;
};

}  // namespace tovarin
