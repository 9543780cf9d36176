#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity/ActivityRecord.h"
#include "main/activity/ActivityService.h"
#include "main/activity_ui/ActivitySettingsView.h"
#include "main/activity_ui/ActivityStatus.h"
#include "main/activity_ui/ActivitySubmenu.h"
#include "main/activity_ui/ActivityTexts.h"
#include "main/activity_ui/ActivityUiDesktop.h"
#include "main/activity_ui/ActivityViewModel.h"
#include "main/page/PanelPresenter.h"

namespace tovarin {

// The activity record as the user sees it: turns the record's snapshots into the status
// the menu and the settings window show and carries out the user's actions (asking
// before anything is deleted). The engine itself is the ActivityRecord's.
//
// Lives on the main loop. Every service call goes through the record's work queue, one
// at a time; results come back with posts to the main loop.
class ActivityController final : public std::enable_shared_from_this<ActivityController> {
 public:
  static constexpr double pollSeconds = 2.0;

  struct Options {
    std::shared_ptr<PanelPresenter> panels;
    std::shared_ptr<ActivityUiDesktop> desktop;
  };

  // Follows the record's snapshots and events; starts nothing.
  static std::shared_ptr<ActivityController> create(MainLoop& loop, std::shared_ptr<ActivityRecord> record,
                                                    Options options);
  ActivityController(const ActivityController&) = delete;
  ActivityController& operator=(const ActivityController&) = delete;
  ~ActivityController();

  // Once: starts the record, and opens it on its work queue when it is enabled. Later
  // calls do nothing.
  void bootstrap();
  // Shuts the record down; returns when all of it is done.
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
  const ActivityService::Snapshot& snapshot() const { return record_->snapshot(); }
  const std::shared_ptr<ActivityRecord>& record() const { return record_; }
  bool pollRunning() const { return poll_.isArmed(); }

  struct CreateKey {
    explicit CreateKey() = default;
  };
  ActivityController(CreateKey, MainLoop& loop, std::shared_ptr<ActivityRecord> record, Options options);

 private:
  void followRecord();
  void schedulePoll();
  void publish();
  void notice(const ActivityEvent& event);
  void confirm(const ActivityConfirmation& question, std::function<void()> onConfirmed,
               std::function<void()> onDeclined = nullptr);
  // Runs `call` on the record's work queue, then `done` with its result on the main loop.
  template <typename Call, typename Done>
  void onWork(Call call, Done done);
  void onWork(std::function<void(ActivityService&)> call) { record_->onWork(std::move(call)); }

  MainLoop& loop_;
  const std::shared_ptr<ActivityRecord> record_;
  const Options options_;

  // Main loop only.
  ActivityViewModel model_;
  ActivityStatus status_;
  bool opening_ = false;
  TimerHandle poll_;
  std::optional<std::string> frontName_;
  bool bootstrapped_ = false;
  std::function<void()> onPublish_;
};

}  // namespace tovarin
