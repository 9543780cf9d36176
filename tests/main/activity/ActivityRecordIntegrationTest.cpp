#include "main/activity/ActivityRecord.h"

#include <gtest/gtest.h>

#include <atomic>

#include "base/Json.h"
#include "main/activity/ActivityBridgeRequest.h"
#include "main/activity/MemoryKeyStore.h"
#include "tests/support/FakeActivityCapturePlatform.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

const std::string kOwner(64, 'e');
const RunningApplication kEditor{41, "org.gnome.TextEditor", "Text Editor", 7};

// The record alone, over a real store, service and bridge in a temporary folder: no
// controller, no window; only the desktop is the test's.
class ActivityRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ActivitySettings settings;
    settings.included = {*kEditor.bundleId};
    defaults_.setString(ActivityRecord::settingsKey, toJsonText(settings.toJson()));
    ActivityRecord::Options options;
    options.directory = dir_.path() + "/Activity";
    options.keyStore = std::make_shared<MemoryKeyStore>();
    options.platform = platform_;
    options.socketPath = dir_.path() + "/bridge.sock";
    options.allowPeer = [](pid_t) { return true; };
    options.now = [this] { return now_.load(); };
    record_ = ActivityRecord::create(loop_, defaults_, std::move(options));
    record_->setOnApplied([this] { ++applied_; });
    record_->setOnEvent([this](const ActivityEvent&) { ++eventsSeen_; });
    record_->start();
    (void)record_->service()->handle(ActivityBridgeRequest::ownerReport(kOwner));
    record_->onWork([](ActivityService& service) { (void)service.enable(); });
    settle();
  }
  void TearDown() override { record_->shutdown(); }

  void settle() {
    for (int round = 0; round < 6; ++round) {
      record_->drainWork();
      loop_.runUntilIdle();
    }
  }
  void bringToFront(const RunningApplication& app) {
    platform_->xDesktop->frontmost = app;
    platform_->workspace->post(WorkspaceNotification::applicationActivated, {app});
    settle();
  }
  int64_t storedIntervals() {
    const auto counts = record_->service()->counts();
    return counts ? counts->intervals : -1;
  }
  void setPaused(bool paused) {
    record_->onWork([paused](ActivityService& service) { service.setPaused(paused); });
    settle();
  }

  TempDir dir_;
  ManualLoop loop_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  std::atomic<double> now_{ActivityService::wallClockNow()};
  std::shared_ptr<FakeActivityCapturePlatform> platform_ = std::make_shared<FakeActivityCapturePlatform>(loop_);
  std::shared_ptr<ActivityRecord> record_;
  int applied_ = 0;
  int eventsSeen_ = 0;
};

TEST_F(ActivityRecordTest, AWindowSwitchReachesTheStoreWithNobodyButTheRecordBetween) {
  ASSERT_TRUE(record_->snapshot().capturing);
  ASSERT_TRUE(record_->capture() && record_->capture()->isRunning());
  const int seenBefore = eventsSeen_;
  bringToFront(kEditor);
  EXPECT_GT(eventsSeen_, seenBefore);  // the observer hears of it too
  now_ = now_.load() + 60.0;  // within the owner report's validity
  setPaused(true);  // closes the interval in progress
  EXPECT_EQ(storedIntervals(), 1);
}

TEST_F(ActivityRecordTest, CaptureFollowsTheServiceUntilShutdown) {
  const int appliedBefore = applied_;
  setPaused(true);
  EXPECT_FALSE(record_->snapshot().capturing);
  EXPECT_FALSE(record_->capture()->isRunning());
  EXPECT_GT(applied_, appliedBefore);
  setPaused(false);
  EXPECT_TRUE(record_->capture()->isRunning());

  record_->shutdown();
  EXPECT_FALSE(record_->capture()->isRunning());
  EXPECT_FALSE(record_->bridgeListening());
  ActivityService::Snapshot capturing = record_->snapshot();
  capturing.capturing = true;
  record_->apply(capturing);  // a snapshot that lands after shutdown starts nothing
  EXPECT_FALSE(record_->capture()->isRunning());
}

}  // namespace
}  // namespace tovarin
