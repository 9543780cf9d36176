#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/MainLoop.h"
#include "base/ProcessEnvironment.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/activity/ActivityBridgeServer.h"
#include "main/activity/ActivityCapture.h"
#include "main/activity/ActivityCapturePlatform.h"
#include "main/activity/ActivityKeyStore.h"
#include "main/activity/ActivityService.h"

namespace tovarin {

// The activity record's engine: builds store and service, starts the bridge, capture
// and maintenance at launch, hands every captured event straight to the service, keeps
// capture in step with the service's snapshots and shuts everything down at exit.
//
// Lives on the main loop. Every service call goes through work_, one at a time; results
// come back with posts to the main loop. The bridge calls the service on its own thread.
class ActivityRecord final : public std::enable_shared_from_this<ActivityRecord> {
 public:
  static constexpr const char* settingsKey = "TovarinActivity.settings";
  static constexpr const char* cookieName = "tovarin_activity";
  static constexpr const char* cookiePath = "/api/activity";
  static constexpr const char* workLabel = "com.orvik.thetovarin.activity.work";
  static constexpr double maintenanceSeconds = 30.0;

  // Session-only, HTTP-only, same-site strict, for the web views' shared store.
  using SetPageCookie = std::function<void(const std::string& host, const std::string& name,
                                           const std::string& value, const std::string& path)>;
  using OnSnapshot = std::function<void(const ActivityService::Snapshot&)>;
  using OnEvent = std::function<void(const ActivityEvent&)>;

  struct Options {
    std::string directory;  // the record's folder
    std::shared_ptr<ActivityKeyStore> keyStore;
    // What the server child alone receives; the bridge's variables go here.
    std::shared_ptr<ProcessEnvironment> serverEnvironment;
    std::shared_ptr<ActivityCapturePlatform> platform;
    SetPageCookie setPageCookie;
    std::string socketPath;                     // empty: this process's own
    ActivityBridgeServer::AllowPeer allowPeer;  // none: this process's children
    ActivityService::Clock now = ActivityService::wallClockNow;
  };

  // Loads the settings and prepares store and service; starts nothing.
  static std::shared_ptr<ActivityRecord> create(MainLoop& loop, UserDefaults& defaults, Options options);
  ActivityRecord(const ActivityRecord&) = delete;
  ActivityRecord& operator=(const ActivityRecord&) = delete;
  ~ActivityRecord();

  // Called on the main loop after each snapshot is applied.
  void setOnApplied(std::function<void()> onApplied) { onApplied_ = std::move(onApplied); }
  // Called on the main loop with each captured event, just before it is queued for the service.
  void setOnEvent(OnEvent onEvent) { onEvent_ = std::move(onEvent); }

  // Once: bridge (with its environment and cookie), capture and maintenance. Opens
  // nothing; later calls do nothing.
  void start();
  // Opens and maintains the record on work_; `opened` gets the snapshot after it on the
  // main loop.
  void openAtLaunch(OnSnapshot opened);
  // Capture, maintenance, the service (after everything queued before it), the bridge,
  // the environment; returns when all of it is done.
  void shutdown();

  // Makes this the current snapshot and starts, stops and re-aims capture for it. The
  // service's own snapshots come here by themselves; a work result's snapshot is applied
  // by whoever asked for it.
  void apply(const ActivityService::Snapshot& snapshot);
  // No new events, until a snapshot starts capture again.
  void stopCapture();
  // The desktop's trust read now, and kept for the service's own queue.
  bool refreshTrust();

  // Runs `call` on work_, then `done` with its result on the main loop.
  template <typename Call, typename Done>
  void onWork(Call call, Done done) {
    // The block holds the record: an action's result must land.
    work_.async([self = shared_from_this(), call = std::move(call), done = std::move(done)]() mutable {
      auto result = call(*self->service_);
      self->loop_.post([done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
    });
  }
  void onWork(std::function<void(ActivityService&)> call);
  // Waits until everything queued on work_ so far has run; for tests and shutdown.
  void drainWork() { work_.sync([] {}); }

  // The snapshot last applied.
  const ActivityService::Snapshot& snapshot() const { return snapshot_; }
  const std::shared_ptr<ActivityService>& service() const { return service_; }
  const std::shared_ptr<ActivityCapturePlatform>& platform() const { return options_.platform; }
  const std::shared_ptr<ActivityCapture>& capture() const { return capture_; }
  bool bridgeListening() const { return bridge_ && bridge_->isListening(); }

  struct CreateKey {
    explicit CreateKey() = default;
  };
  ActivityRecord(CreateKey, MainLoop& loop, UserDefaults& defaults, Options options);

 private:
  void wireService();
  void startBridge();
  void scheduleMaintenance();
  void ingest(const ActivityEvent& event);
  [[nodiscard]] ActivityCapture::Policy capturePolicy(const ActivitySettings& settings) const;

  MainLoop& loop_;
  UserDefaults& defaults_;
  const Options options_;
  SerialQueue work_{workLabel};

  // Main loop only.
  std::shared_ptr<ActivityService> service_;
  ActivityService::Snapshot snapshot_;
  std::shared_ptr<ActivityCapture> capture_;
  std::unique_ptr<ActivityBridgeServer> bridge_;
  TimerHandle maintenance_;
  bool started_ = false;
  bool shutDown_ = false;
  std::function<void()> onApplied_;
  OnEvent onEvent_;
  // The desktop's trust as last read on the main loop, for the service's own queue.
  std::shared_ptr<std::atomic<bool>> trusted_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tovarin
