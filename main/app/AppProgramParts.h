#pragma once

#include <functional>
#include <memory>

#include "base/EventStream.h"
#include "base/HttpClient.h"
#include "base/MainLoop.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "base/WebSocketClient.h"
#include "main/app/AppParts.h"
#include "main/bridges/CaptureBridges.h"
#include "main/changes/WidgetTimelines.h"
#include "main/config/AppConfig.h"
#include "main/page/AccessibilitySettings.h"
#include "main/page/PageHost.h"
#include "main/page/PanelPresenter.h"
#include "main/page/WebPanels.h"
#include "main/page/WebView.h"
#include "main/page/Window.h"
#include "main/presence/PresenceProbe.h"
#include "main/server/ServerController.h"
#include "main/windows/StickyChromeSurface.h"

namespace tovarin {

class ChangeWatcher;
class MainWindowController;
class PresenceReporter;
class StickySettingsRoundTrip;
class StickyWindowController;
class VoiceEngine;

// The program's parts: the real server controller, change watcher, presence reporter
// and window controllers, on whatever desktop and web views the services bring (the
// GTK ones in the program, test doubles in tests). Main loop only.
class AppProgramParts final : public AppParts {
 public:
  // Everything here must outlive the parts and what they made.
  struct Services {
    MainLoop& loop;
    TaskRunner& background;
    Desktop& desktop;
    WebViewProvider& webViews;
    AccessibilitySettings& accessibility;
    StickyChromeSurfaceProvider& chromeSurfaces;
    UserDefaults& defaults;
    std::shared_ptr<HttpClient> http;
    EventStream& eventStream;
    WidgetTimelines& widgets;
    PresenceProbe& presenceProbe;
    // Runs the sticky window's notices, modal for the whole program.
    std::shared_ptr<PanelPresenter> stickyPanels;
    // The main window's text recognition, reminders and file drop, with the maker of
    // its window's drop target; the window goes without them when they are missing.
    std::shared_ptr<CaptureBridges> capture = nullptr;
    std::function<std::shared_ptr<DropHost>(Window&, WebView&)> makeDropHost = nullptr;
    // Voice: the shared engine and the sockets of its relay; without an engine the
    // windows drop "voice" messages.
    std::shared_ptr<VoiceEngine> voice = nullptr;
    WebSocketClient* sockets = nullptr;
  };

  AppProgramParts(AppConfig config, Services services, ServerController::Options serverOptions = {});
  ~AppProgramParts() override;

  // The activity record is the program's own affair (its desktop and key store); the
  // program hands in how to make it. Without a maker there is none.
  void setActivityMaker(std::function<std::shared_ptr<AppActivity>()> maker) { activityMaker_ = std::move(maker); }
  std::shared_ptr<AppActivity> makeActivity() override { return activityMaker_ ? activityMaker_() : nullptr; }
  std::shared_ptr<ServerSupervisor> makeServer() override;
  std::shared_ptr<AppChangeWatcher> makeWatcher() override;
  std::shared_ptr<AppPresence> makePresence(double intervalSeconds) override;
  std::shared_ptr<AppMainWindow> makeMainWindow(std::shared_ptr<ServerSupervisor> server) override;
  std::shared_ptr<AppStickyWindow> makeStickyWindow(std::shared_ptr<ServerSupervisor> server) override;
  void configureVoice() override;
  void silenceVoice() override;

  // What was made, for the program's own wiring and for tests.
  const std::shared_ptr<ServerController>& serverController() const { return server_; }
  const std::shared_ptr<MainWindowController>& mainWindow() const { return main_; }
  const std::shared_ptr<StickyWindowController>& stickyWindow() const { return sticky_; }

 private:
  // What a window's page host needs: these, the app's services, and where downloads go.
  PageHost::Services pageServices(std::shared_ptr<ServerSupervisor> server, std::shared_ptr<PanelPresenter> panels);

  const AppConfig config_;
  Services services_;
  const ServerController::Options serverOptions_;
  // The watcher's and the reporter's own queues; they end with the parts.
  SerialQueue watcherQueue_{"com.orvik.thetovarin.changes"};
  SerialQueue presenceQueue_{"com.orvik.thetovarin.presence"};
  // Where the sticky window's settings read-backs are parsed.
  SerialQueue stickySettingsQueue_{"com.orvik.thetovarin.sticky-settings"};

  std::function<std::shared_ptr<AppActivity>()> activityMaker_;
  std::shared_ptr<ServerController> server_;
  std::shared_ptr<ChangeWatcher> watcher_;
  std::shared_ptr<PresenceReporter> presence_;
  std::shared_ptr<MainWindowController> main_;
  std::shared_ptr<StickyWindowController> sticky_;
  std::shared_ptr<StickySettingsRoundTrip> stickySettings_;
};

}  // namespace tovarin
