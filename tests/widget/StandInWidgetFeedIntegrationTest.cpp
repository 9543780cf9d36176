#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/SerialQueue.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/TempDir.h"
#include "tests/widget/WidgetTestData.h"
#include "widget/CalendarEntry.h"
#include "widget/CalendarProvider.h"
#include "widget/WidgetList.h"

namespace tovarin {
namespace {

// The stand-in server's widget feed, read by the widget's own client: each test mode
// gives the failure it stands for, and the feed itself reads whole.
class StandInWidgetFeedIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = LocalPorts::unused();
    auto launch = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/node",
        {std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs", "--port", std::to_string(port_)},
        dir_.path(),
        {"PATH=/usr/bin:/bin"},
        false,
        false,
        true});
    ASSERT_TRUE(launch.process) << launch.error;
    server_ = launch.process;
    for (int i = 0; i < 300 && !LocalPorts::accepts(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(LocalPorts::accepts(port_));
  }
  void TearDown() override {
    if (server_ && server_->isRunning()) {
      server_->signal(SIGKILL);
      (void)server_->wait();
    }
  }

  bool setMode(const std::string& mode) {
    std::promise<int> status;
    http_.send(HttpRequest{"POST", "http://127.0.0.1:" + std::to_string(port_) + "/__test/widget-feed?mode=" + mode,
                           {}, {}, 5},
               queue_, [&](HttpResponse response) { status.set_value(response.responded ? response.status : 0); });
    return status.get_future().get() == 200;
  }

  CalendarEntry load() {
    FeedRequest request;
    request.port = port_;
    request.now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    request.device = widget_test::newYork();
    std::promise<CalendarEntry> loaded;
    CalendarProvider::load(http_, queue_, request, [&](CalendarEntry entry) { loaded.set_value(std::move(entry)); });
    return loaded.get_future().get();
  }

  TempDir dir_;
  uint16_t port_ = 0;
  std::shared_ptr<ChildProcess> server_;
  BeastHttpClient http_;
  SerialQueue queue_{"stand-in-feed"};
};

TEST_F(StandInWidgetFeedIntegrationTest, EveryModeGivesItsFailure) {
  const std::pair<const char*, std::optional<FeedFailure>> cases[] = {
      {"ok", std::nullopt},
      {"signed-out", FeedFailure::signedOut},
      {"locked", FeedFailure::locked},
      {"account-changed", FeedFailure::accountChanged},
      {"zone-not-projected", FeedFailure::zoneUnavailable},
      {"zone-unverified", FeedFailure::zoneUnverified},
      {"unavailable", FeedFailure::malformed},
      {"no-content", FeedFailure::malformed},
      {"no-body", FeedFailure::unreachable},
      {"empty-body", FeedFailure::malformed},
      {"malformed", FeedFailure::malformed},
      {"empty-epoch", FeedFailure::malformed},
      {"missing-zone", FeedFailure::zoneUnavailable},
      {"zone-not-ready", std::nullopt},
  };
  for (const auto& [mode, expected] : cases) {
    ASSERT_TRUE(setMode(mode)) << mode;
    EXPECT_EQ(load().failure, expected) << mode;
  }
  EXPECT_FALSE(setMode("sideways"));
}

TEST_F(StandInWidgetFeedIntegrationTest, TheFeedHasSomethingStillToComeInEveryKindOfRow) {
  CalendarEntry entry = load();
  ASSERT_FALSE(entry.offline()) << name(*entry.failure);
  EXPECT_EQ(entry.zoneId, "Asia/Shanghai");
  EXPECT_EQ(entry.accountEpoch, "epoch-1");
  EXPECT_EQ(entry.colors.count("work"), 1u);
  EXPECT_EQ(entry.colors.count("travel"), 0u);  // no colour of its own: the accent
  WidgetList list(entry, WidgetFamily::large, widget_test::newYork());
  std::set<WidgetRow::Kind> kinds;
  for (const auto& row : list.rows(40)) kinds.insert(row.kind);
  EXPECT_EQ(kinds, (std::set<WidgetRow::Kind>{WidgetRow::Kind::dayLabel, WidgetRow::Kind::event,
                                              WidgetRow::Kind::section, WidgetRow::Kind::task}));
  std::vector<std::string> taskIds;
  for (const auto& task : list.visibleTasks()) taskIds.push_back(task.id);
  // The answered follow-up and the task not due yet stay out.
  EXPECT_EQ(taskIds, (std::vector<std::string>{"call", "report", "notes"}));
}

}  // namespace
}  // namespace tovarin
