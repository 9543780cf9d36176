#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/MainLoop.h"
#include "base/TaskRunner.h"
#include "main/app/AppParts.h"
#include "main/config/AppConfig.h"
#include "main/desktop/AppDesktop.h"
#include "main/desktop/AppIdentity.h"
#include "main/desktop/AppMenuTarget.h"

namespace tovarin {

// The spine of the application: creates every long-lived part at launch in a fixed
// order, asks the local server for its health and then loads both pages or shows the
// offline notice, drives the pages from the menus, the status item and the program's
// own URLs, and stops everything in a fixed order at exit.
//
// Lives on the main loop. The launch health check completes on the supervisor's probe
// queue and decides there from the supervisor alone (starting the server blocks that
// queue, never the main loop); every window call is posted back to the main loop.
// Start-up facts are gathered on `background`.
class AppDelegate final : public AppMenuTarget, public std::enable_shared_from_this<AppDelegate> {
 public:
  static constexpr double presenceInterval = 60;
  static constexpr double launchReadinessTimeout = 12;
  // The latest the sticky page waits at launch for the main page to load or fail.
  static constexpr double stickyLoadLatest = 5;
  static constexpr int pageCommandRetries = 40;
  static constexpr std::string_view triggerAtLaunch = "打开岚笺时";
  static constexpr std::string_view triggerAfterLaunchWait = "打开岚笺时等本机服务就绪";

  struct Identity {
    std::string productName{AppIdentity::defaultProductName};
    std::string version{AppIdentity::defaultVersion};
  };

  // The parts maker, the desktop and the loops must outlive the delegate.
  static std::shared_ptr<AppDelegate> create(AppConfig config, Identity identity, MainLoop& loop,
                                             TaskRunner& background, AppParts& parts, AppDesktop& desktop);

  // The launch steps; once. The first activation of the program.
  void didFinishLaunching();
  // The program was opened with URLs: only the first counts. Before launch it waits as
  // the one pending URL (a later one replaces it) and is routed last in the launch.
  void openUrls(const std::vector<std::string>& urls);
  // The program was activated again (a second start without URLs): shows the main window.
  void reopen();
  // The termination steps; once, and only when launch ran.
  void willTerminate();
  // None of the program's windows has the focus any more: dictation and speech stop.
  void willResignActive();
  // Closing the last window never quits.
  static constexpr bool shouldTerminateAfterLastWindowClosed() { return false; }

  // Shows the main window and acts on the URL's host.
  void route(const std::string& url);
  void rebuildStatusMenu();

  // AppMenuTarget
  void perform(MenuCommand command, const MenuArgument& argument) override;
  [[nodiscard]] bool isEnabled(MenuCommand command) const override;

  bool launched() const { return launched_; }
  const std::optional<std::string>& pendingUrl() const { return pendingUrl_; }

  struct CreateKey {
    explicit CreateKey() = default;
  };
  AppDelegate(CreateKey, AppConfig config, Identity identity, MainLoop& loop, TaskRunner& background,
              AppParts& parts, AppDesktop& desktop);

 private:
  void startServerThenLoad();
  // On the probe queue.
  static void onLaunchHealth(const std::weak_ptr<AppDelegate>& weak, bool usable);
  void waitForLaunchReadiness();
  void onLaunchReadiness(bool ready);
  void showLaunchOffline(std::string_view trigger);
  void serverBecameReady();
  void loadPagesMainFirst(bool force);
  void wireCallbacks();
  void runPageCommand(const std::string& name);
  void toggleSticky();
  void setStickyLevel(const MenuArgument& argument);
  void moveSticky(bool up);
  void setStickySpaceScope(const MenuArgument& argument);
  void setStickyOpacity(const MenuArgument& argument);
  void showAbout();

  const AppConfig config_;
  const Identity identity_;
  MainLoop& loop_;
  TaskRunner& background_;
  AppParts& parts_;
  AppDesktop& desktop_;

  // Set at launch on the main loop, never changed afterwards, so the probe queue may
  // read server_ once launch has requested the health check.
  std::shared_ptr<ServerSupervisor> server_;
  std::shared_ptr<AppActivity> activity_;
  std::shared_ptr<AppChangeWatcher> watcher_;
  std::shared_ptr<AppPresence> presence_;
  std::shared_ptr<AppMainWindow> main_;
  std::shared_ptr<AppStickyWindow> sticky_;

  // Main loop only.
  std::optional<std::string> pendingUrl_;
  bool launched_ = false;
  bool terminated_ = false;
  bool readyStepsRan_ = false;
  TimerHandle stickyLoadFallback_;
};

}  // namespace tovarin
