#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "base/ProcessEnvironment.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/activity/ActivityBridgeServer.h"
#include "main/activity/ActivityCapture.h"
#include "main/activity/ActivityKeyStore.h"
#include "main/activity/ActivityService.h"
#include "main/activity_ui/ActivityControllerDesktop.h"
#include "main/activity_ui/ActivitySettingsView.h"
#include "main/activity_ui/ActivityStatus.h"
#include "main/activity_ui/ActivitySubmenu.h"
#include "main/activity_ui/ActivityTexts.h"
#include "main/activity_ui/ActivityViewModel.h"
#include "main/page/PanelPresenter.h"

namespace tovarin {

// The activity record's one controller: builds store and service, starts the bridge,
// capture and maintenance at launch, turns the service's snapshots into the status the
// menu and the settings window show, carries out the user's actions (asking before
// anything is deleted) and shuts everything down at exit.
//
// Lives on the main loop. Every service call goes through work_, one at a time; results
// come back with posts to the main loop. The bridge calls the service on its own thread.
class ActivityController final : public std::enable_shared_from_this<ActivityController> {
 public:
  static constexpr const char* settingsKey = "TovarinActivity.settings";
  static constexpr const char* cookieName = "tovarin_activity";
  static constexpr const char* cookiePath = "/api/activity";
  static constexpr const char* workLabel = "com.orvik.thetovarin.activity.work";
  static constexpr double maintenanceSeconds = 30.0;
  static constexpr double pollSeconds = 2.0;

  struct Options {
    std::string directory;  // the record's folder
    std::shared_ptr<ActivityKeyStore> keyStore;
    // What the server child alone receives; the bridge's variables go here.
    std::shared_ptr<ProcessEnvironment> serverEnvironment;
    std::shared_ptr<PanelPresenter> panels;
    std::shared_ptr<ActivityControllerDesktop> desktop;
    std::string socketPath;                                  // empty: this process's own
    ActivityBridgeServer::AllowPeer allowPeer;               // none: this process's children
    ActivityService::Clock now = ActivityService::wallClockNow;
  };

  // Loads the settings and prepares store and service; starts nothing.
  static std::shared_ptr<ActivityController> create(MainLoop& loop, UserDefaults& defaults, Options options);
  ActivityController(const ActivityController&) = delete;
  ActivityController& operator=(const ActivityController&) = delete;
  ~ActivityController();

  // Once: bridge (with its environment and cookie), capture, maintenance, and the
  // opening of an enabled record on work_. Later calls do nothing.
  void bootstrap();
  // Capture, maintenance, the service (after everything queued before it), the bridge,
  // the environment; returns when all of it is done.
  void shutdown();

  // The status menu's item: its title and the submenu's entries for this moment.
  [[nodiscard]] std::string menuTitle() const { return status_.menuTitle(); }
  [[nodiscard]] std::vector<ActivitySubmenu::Entry> submenu() const;
  void performSubmenu(ActivitySubmenu::Action action, std::optional<ClearRange> range);
  // Called after every publish, so a menu can keep its title and entries current.
  void setOnPublish(std::function<void()> onPublish) { onPublish_ = std::move(onPublish); }

  // The user's actions, from the menu and the settings window.
  void setEnabled(bool on);
  void confirmDisableAndDelete();
  void setPaused(bool paused);
  void setIncluded(const std::string& id, bool included);
  void setRetentionDays(int64_t days);
  void setBrowserDomains(bool on);
  void clear(ClearRange range);
  void confirmRebind();
  void keepForOriginalAccount();
  void retryKeyAccess();
  void confirmResetAfterKeyLoss();
  void requestAccessibility();
  void requestAutomation(const std::string& id);
  void addApp();

  // A control of the settings window, with a toggle's new state or a stepper's value.
  // Switches and controls that may open a dialog run one main-loop turn later.
  void performSetting(const ActivitySettingsView::Control& control, bool on, int64_t value);

  // The settings window and what feeds it.
  void showSettings();
  void settingsWindowClosed();
  void refreshApps();
  void refreshPermissions();
  void refreshStored();

  const ActivityStatus& status() const { return status_; }
  ActivityViewModel& model() { return model_; }
  const ActivityService::Snapshot& snapshot() const { return snapshot_; }
  const std::shared_ptr<ActivityService>& service() const { return service_; }
  const std::shared_ptr<ActivityCapture>& capture() const { return capture_; }
  bool bridgeListening() const { return bridge_ && bridge_->isListening(); }
  bool pollRunning() const { return poll_.isArmed(); }
  // Waits until everything queued on work_ so far has run; for tests and shutdown.
  void drainWork() { work_.sync([] {}); }

  struct CreateKey {
    explicit CreateKey() = default;
  };
  ActivityController(CreateKey, MainLoop& loop, UserDefaults& defaults, Options options);

 private:
  void wireService();
  void startBridge();
  void scheduleMaintenance();
  void schedulePoll();
  void apply(const ActivityService::Snapshot& snapshot);
  void publish();
  void ingest(const ActivityEvent& event);
  [[nodiscard]] ActivityCapture::Policy capturePolicy(const ActivitySettings& settings) const;
  void persist(const ActivitySettings& settings);
  void confirm(const ActivityConfirmation& question, std::function<void()> onConfirmed,
               std::function<void()> onDeclined = nullptr);
  // Runs `call` on work_, then `done` with its result on the main loop.
  template <typename Call, typename Done>
  void onWork(Call call, Done done);
  void onWork(std::function<void(ActivityService&)> call);

  MainLoop& loop_;
  UserDefaults& defaults_;
  const Options options_;
  SerialQueue work_{workLabel};

  // Main loop only.
  ActivityViewModel model_;
  ActivityStatus status_;
  std::shared_ptr<ActivityService> service_;
  ActivityService::Snapshot snapshot_;
  bool opening_ = false;
  std::shared_ptr<ActivityCapture> capture_;
  std::unique_ptr<ActivityBridgeServer> bridge_;
  TimerHandle maintenance_;
  TimerHandle poll_;
  bool windowShown_ = false;
  std::optional<std::string> frontName_;
  bool bootstrapped_ = false;
  bool shutDown_ = false;
  std::function<void()> onPublish_;
  // The desktop's trust as last read on the main loop, for the service's own queue.
  std::shared_ptr<std::atomic<bool>> trusted_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tovarin
