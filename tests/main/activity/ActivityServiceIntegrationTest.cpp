#include "main/activity/ActivityService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/ChildProcess.h"
#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityBridgeServer.h"
#include "main/activity/ActivityPeer.h"
#include "main/activity/MemoryKeyStore.h"
#include "tests/main/activity/ActivityStoreFixture.h"
#include "tests/support/FileContents.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

const std::string kOwnerA(64, 'a');
const std::string kOwnerB(64, 'b');
const ActivityApp kEditor{"org.gnome.TextEditor", "Text Editor"};
// 2026-03-02 10:00:01 in Berlin (09:00:01 UTC): an hour that has just begun.
constexpr double kStart = 1772442001.0;

ActivitySettings recordingSettings() {
  ActivitySettings settings;
  settings.enabled = true;
  settings.included = {kEditor.bundleId};
  return settings;
}

class ActivityServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { makeService(ActivitySettings{.included = {kEditor.bundleId}}); }

  void makeService(ActivitySettings settings) {
    store_ = std::make_shared<ActivityStore>(dir_.path() + "/Activity", keys_);
    service_ = std::make_unique<ActivityService>(
        store_, std::move(settings), [this] { return "iv-" + std::to_string(++ids_); }, [this] { return trusted_.load(); },
        [this] { return now_.load(); }, [] { return *Calendar::gregorian("Europe/Berlin"); },
        [this](const ActivitySettings& saved) {
          std::lock_guard lock(mutex_);
          persisted_.push_back(saved);
        });
    service_->setOnChange([this](const ActivityService::Snapshot& snapshot) {
      std::lock_guard lock(mutex_);
      published_.push_back(snapshot);
    });
  }

  ActivityBridgeReply report(std::optional<std::string> owner) {
    return service_->handle(ActivityBridgeRequest::ownerReport(std::move(owner)));
  }
  ActivityBridgeReply query(const std::string& owner, const std::string& day = "2026-03-02") {
    return service_->handle(ActivityBridgeRequest::query(owner, {day, day, std::nullopt, std::nullopt}));
  }
  void enableFor(const std::string& owner) {
    report(owner);
    ASSERT_EQ(service_->enable(), ActivityService::EnableOutcome::enabled);
    ASSERT_TRUE(service_->snapshot().capturing);
  }
  void showEditor() { service_->record(ActivityEvent::frontmost(kEditor, now_)); }
  void advance(double seconds) { now_ = now_ + seconds; }
  // Time passes while the local server keeps reporting the owner, as it does.
  void advanceReporting(const std::string& owner, double seconds) {
    for (double left = seconds; left > 0; left -= 60) {
      advance(std::min(left, 60.0));
      report(owner);
    }
  }
  int64_t storedIntervals() {
    auto counts = service_->counts();
    return counts ? counts->intervals : -1;
  }
  size_t publishedCount() {
    std::lock_guard lock(mutex_);
    return published_.size();
  }
  std::vector<ActivitySettings> persisted() {
    std::lock_guard lock(mutex_);
    return persisted_;
  }
  static size_t itemCount(const ActivityBridgeReply& reply) {
    const auto* result = std::get_if<ActivityQueryResult>(&reply.payload());
    return result ? result->items.size() : 0;
  }

  TempDir dir_;
  std::shared_ptr<MemoryKeyStore> keys_ = std::make_shared<MemoryKeyStore>();
  std::shared_ptr<ActivityStore> store_;
  std::atomic<double> now_{kStart};
  std::atomic<bool> trusted_{true};
  std::atomic<int> ids_{0};
  std::mutex mutex_;
  std::vector<ActivityService::Snapshot> published_;  // mutex_
  std::vector<ActivitySettings> persisted_;          // mutex_
  std::unique_ptr<ActivityService> service_;
};

TEST_F(ActivityServiceTest, TheFirstPublishedCommandFiresOnceAndNothingChangesWhileOff) {
  service_->start();
  ASSERT_EQ(publishedCount(), 1u);
  EXPECT_FALSE(published_[0].settings.enabled);
  EXPECT_FALSE(published_[0].capturing);
  service_->start();
  service_->update([](ActivitySettings& settings) { settings.retentionDays = 3; });
  service_->setPaused(true);
  service_->maintain();
  EXPECT_EQ(publishedCount(), 1u);
  EXPECT_EQ(service_->snapshot().settings, ActivitySettings{.included = {kEditor.bundleId}});
  EXPECT_TRUE(persisted().empty());
  EXPECT_EQ(service_->counts(), std::nullopt);
}

TEST_F(ActivityServiceTest, StartingWithRecordingOnButNoDatabaseTurnsItOffAndSavesThat) {
  makeService(recordingSettings());
  service_->start();
  ASSERT_EQ(persisted().size(), 1u);
  EXPECT_EQ(persisted()[0], ActivitySettings());
  EXPECT_FALSE(service_->snapshot().settings.enabled);
}

// A database linked elsewhere is refused as any store failure is: recording stays off,
// the status says the record cannot be opened, and the log says why.
TEST_F(ActivityServiceTest, ADatabaseLinkedElsewhereIsNotOpenedAndSaysSo) {
  LogRecorder log;
  const std::string other = dir_.path() + "/other.sqlite";
  makeOtherDatabase(other);
  const std::string before = readFile(other);
  std::filesystem::create_directories(dir_.path() + "/Activity");
  std::filesystem::create_symlink(other, dir_.path() + "/Activity/activity.sqlite");
  report(kOwnerA);
  EXPECT_EQ(service_->enable(), ActivityService::EnableOutcome::failed);
  EXPECT_NE(service_->snapshot().storeState, ActivityStoreState::ready);
  EXPECT_FALSE(service_->snapshot().capturing);
  EXPECT_EQ(log.matching("[orvik] activity: the record did not open: ").size(), 1u);

  makeService(recordingSettings());
  service_->start();
  EXPECT_TRUE(service_->snapshot().settings.enabled);  // kept: the file is there, only refused
  EXPECT_NE(service_->snapshot().storeState, ActivityStoreState::ready);
  EXPECT_EQ(log.matching("[orvik] activity: the record did not open: ").size(), 2u);
  EXPECT_TRUE(readFile(other) == before) << "the other program's database changed";
  struct stat info {};
  ::stat(other.c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(ActivityServiceTest, EnableNeedsAFreshOwnerReportThatNamesSomebody) {
  struct Case {
    std::string name;
    std::function<void()> before;
  };
  const std::vector<Case> cases = {
      {"no report ever", [] {}},
      {"a report of nobody, a second ago", [&] { report(std::nullopt); advance(1); }},
      {"a valid report, 91 seconds ago", [&] { report(kOwnerA); advance(91); }},
      {"a valid report, 91 seconds ahead", [&] { advance(91); report(kOwnerA); advance(-91); }},
  };
  for (const Case& c : cases) {
    makeService({});
    c.before();
    EXPECT_EQ(service_->enable(), ActivityService::EnableOutcome::needsAccount) << c.name;
    EXPECT_FALSE(service_->snapshot().settings.enabled) << c.name;
    EXPECT_TRUE(persisted().empty()) << c.name;
  }
  report(kOwnerA);
  advance(90);  // still in force at exactly 90 seconds
  EXPECT_EQ(service_->enable(), ActivityService::EnableOutcome::enabled);
  const auto snapshot = service_->snapshot();
  EXPECT_TRUE(snapshot.settings.enabled);
  EXPECT_EQ(snapshot.ownership, ActivityOwnership::matched);
  EXPECT_TRUE(snapshot.capturing);
  ASSERT_FALSE(persisted().empty());
  EXPECT_TRUE(persisted().back().enabled);
}

TEST_F(ActivityServiceTest, EnablingARecordOfAnotherAccountAsksForAChoiceWithRecordingOn) {
  enableFor(kOwnerA);
  report(kOwnerB);
  EXPECT_EQ(service_->enable(), ActivityService::EnableOutcome::needsAccountChoice);
  const auto snapshot = service_->snapshot();
  EXPECT_TRUE(snapshot.settings.enabled);
  EXPECT_EQ(snapshot.ownership, ActivityOwnership::otherAccount);
  EXPECT_FALSE(snapshot.capturing);

  service_->keepForOriginalAccount();
  EXPECT_TRUE(service_->snapshot().keptForOriginal);
  auto rebound = service_->rebindToCurrentAccount();
  EXPECT_TRUE(rebound.ok());
  EXPECT_EQ(store_->boundOwner(), kOwnerB);
  EXPECT_FALSE(service_->snapshot().keptForOriginal);
  EXPECT_TRUE(service_->snapshot().capturing);
}

TEST_F(ActivityServiceTest, AQueryIsAnsweredFromTheRecordWithTheIntervalInProgress) {
  enableFor(kOwnerA);
  showEditor();
  advance(60);
  const auto reply = query(kOwnerA);
  ASSERT_EQ(itemCount(reply), 1u);
  const auto& item = std::get<ActivityQueryResult>(reply.payload()).items[0];
  EXPECT_EQ(item.app, "Text Editor");
  EXPECT_EQ(item.durationMin, 1);
  EXPECT_EQ(storedIntervals(), 1);
}

TEST_F(ActivityServiceTest, DeniedQueriesFeedNoFlush) {
  enableFor(kOwnerA);
  showEditor();
  advance(60);
  struct Case {
    std::string name;
    std::function<ActivityBridgeReply()> ask;
    ActivityDenial denial;
  };
  const std::vector<Case> cases = {
      {"another account's query", [&] { return query(kOwnerB); }, ActivityDenial::notGranted},
      {"no accessibility trust", [&] { trusted_ = false; auto reply = query(kOwnerA); trusted_ = true; return reply; },
       ActivityDenial::notGranted},
      {"paused", [&] { service_->setPaused(true); auto reply = query(kOwnerA); service_->setPaused(false); return reply; },
       ActivityDenial::paused},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.ask(), ActivityBridgeReply::denied(c.denial)) << c.name;
    report(kOwnerA);  // the other account's query was a report of its own
  }
  // Pausing closed the first interval; nothing else reached the store.
  EXPECT_EQ(storedIntervals(), 1);
}

TEST_F(ActivityServiceTest, AQueryTheStoreCannotAnswerIsNotGranted) {
  enableFor(kOwnerA);
  store_->failStatementsForTesting([](std::string_view sql) { return sql.find("SELECT") != std::string_view::npos; });
  EXPECT_EQ(query(kOwnerA), ActivityBridgeReply::denied(ActivityDenial::notGranted));
  store_->failStatementsForTesting(nullptr);
  // Arguments the record cannot answer give no result either.
  EXPECT_EQ(service_->handle(ActivityBridgeRequest::query(kOwnerA, {"2026-03-02", "2020-01-01", {}, {}})),
            ActivityBridgeReply::denied(ActivityDenial::notGranted));
}

TEST_F(ActivityServiceTest, ARepeatedReportChangesOnlyItsTimeAndAnExpiredOneIsRevivedByAQuery) {
  enableFor(kOwnerA);
  showEditor();
  const size_t before = publishedCount();
  advance(30);
  EXPECT_EQ(report(kOwnerA), ActivityBridgeReply::acknowledged());
  EXPECT_EQ(publishedCount(), before);
  EXPECT_EQ(storedIntervals(), 0);  // no suspend closed the interval in progress

  advance(80);  // 80 s after the repeat: it held, so the report is still in force
  service_->maintain();
  EXPECT_TRUE(service_->snapshot().capturing);
  advance(11);
  service_->maintain();
  const auto expired = service_->snapshot();
  EXPECT_FALSE(expired.capturing);
  EXPECT_NE(expired.ownership, ActivityOwnership::matched);
  EXPECT_EQ(service_->enable(), ActivityService::EnableOutcome::needsAccount);

  advance(5);
  EXPECT_EQ(itemCount(query(kOwnerA)), 1u);  // the maintenance flush stored the first stretch
  EXPECT_TRUE(service_->snapshot().capturing);
}

TEST_F(ActivityServiceTest, UpdatesKeepRecordingOnClampRetentionAndPruneAtTheNextMaintenance) {
  enableFor(kOwnerA);
  service_->maintain();  // the first maintenance prunes; this hour is now done
  ActivityInterval old{"old-1", kEditor.bundleId, kEditor.name, "notes", std::nullopt, kStart - 3 * 86400,
                       kStart - 3 * 86400 + 600};
  ASSERT_TRUE(service_->snapshot().capturing);
  service_->update([&](ActivitySettings&) { (void)store_->append({old}); });  // on the queue, like the store's owner
  advance(60);
  service_->maintain();
  EXPECT_EQ(storedIntervals(), 1);  // same hour: no second prune

  service_->update([](ActivitySettings& settings) {
    settings.enabled = false;
    settings.retentionDays = 0;
  });
  auto settings = service_->snapshot().settings;
  EXPECT_TRUE(settings.enabled);
  EXPECT_EQ(settings.retentionDays, 1);
  service_->maintain();
  EXPECT_EQ(storedIntervals(), 0);  // a new retention prunes within the same hour

  service_->update([](ActivitySettings& settings) { settings.retentionDays = 99; });
  EXPECT_EQ(service_->snapshot().settings.retentionDays, 30);
  EXPECT_EQ(persisted().back().retentionDays, 30);
}

TEST_F(ActivityServiceTest, MaintenanceFlushesEveryFiveMinutesAtMost) {
  enableFor(kOwnerA);
  showEditor();
  advance(60);
  service_->maintain();  // the first one flushes: the last flush is long ago
  EXPECT_EQ(storedIntervals(), 1);
  advanceReporting(kOwnerA, 60);
  service_->maintain();
  EXPECT_EQ(storedIntervals(), 1);
  advanceReporting(kOwnerA, 239);
  service_->maintain();
  EXPECT_EQ(storedIntervals(), 1);  // 299 seconds since the flush
  advanceReporting(kOwnerA, 1);
  service_->maintain();
  EXPECT_EQ(storedIntervals(), 2);
}

TEST_F(ActivityServiceTest, CommandsRefusedInTheWrongState) {
  EXPECT_EQ(service_->clear(ClearRange::all).error, ActivityServiceFailure(ActivityServiceError::notAllowed));
  EXPECT_EQ(service_->rebindToCurrentAccount().error,
            ActivityServiceFailure(ActivityServiceError::notAllowed));
  EXPECT_EQ(service_->resetAfterKeyLoss().error,
            ActivityServiceFailure(ActivityServiceError::notAllowed));
  enableFor(kOwnerA);
  EXPECT_EQ(service_->resetAfterKeyLoss().error,
            ActivityServiceFailure(ActivityServiceError::notAllowed));
  report(std::nullopt);
  EXPECT_EQ(service_->rebindToCurrentAccount().error,
            ActivityServiceFailure(ActivityServiceError::needsAccount));
}

TEST_F(ActivityServiceTest, AClearStoresTheIntervalInProgressFirstEvenForAnotherAccountsRecord) {
  enableFor(kOwnerA);
  showEditor();
  advanceReporting(kOwnerA, 120);
  report(kOwnerB);  // judged under A: the stretch so far is A's
  EXPECT_EQ(storedIntervals(), 1);
  auto cleared = service_->clear(ClearRange::all);
  ASSERT_TRUE(cleared.ok());
  EXPECT_EQ(cleared.value.intervalsDeleted, 1);
  EXPECT_EQ(storedIntervals(), 0);
}

TEST_F(ActivityServiceTest, DisablingDestroysTheRecordAndTurnsRecordingOff) {
  enableFor(kOwnerA);
  showEditor();
  advance(60);
  (void)query(kOwnerA);
  auto destroyed = service_->disableAndDestroy();
  ASSERT_TRUE(destroyed.ok());
  EXPECT_EQ(destroyed.value.intervalsDeleted, 1);
  EXPECT_EQ(persisted().back(), ActivitySettings());
  EXPECT_FALSE(service_->snapshot().settings.enabled);
  EXPECT_TRUE(keys_->ids().empty());
}

TEST_F(ActivityServiceTest, ShutdownStoresTheIntervalInProgressAndClosesTheStore) {
  enableFor(kOwnerA);
  showEditor();
  advance(60);
  service_->shutdown();
  ActivityStore reopened(dir_.path() + "/Activity", keys_);
  ASSERT_EQ(reopened.open(ActivityStore::OpenMode::existingOnly).value, ActivityStoreState::ready);
  EXPECT_EQ(reopened.counts().value.intervals, 1);
}

TEST_F(ActivityServiceTest, EntryPointsCalledFromTheQueueOrFromOnChangeRunInline) {
  enableFor(kOwnerA);
  std::atomic<int> nested{0};
  service_->setOnChange([&](const ActivityService::Snapshot&) {
    // On the queue when the publishing call was itself made there.
    (void)service_->snapshot();
    (void)service_->counts();
    ++nested;
  });
  service_->update([&](ActivitySettings& settings) {
    EXPECT_TRUE(service_->isCurrent());
    service_->keepForOriginalAccount();  // publishes from the queue, inline
    (void)service_->snapshot();
    settings.browserDomains = true;
  });
  service_->setPaused(true);  // publishes from this thread; onChange calls back in
  EXPECT_EQ(nested.load(), 3);
  EXPECT_TRUE(service_->snapshot().settings.browserDomains);
  EXPECT_TRUE(service_->snapshot().settings.paused);
}

TEST_F(ActivityServiceTest, EntryPointsFromSeveralThreadsAtOnce) {
  enableFor(kOwnerA);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int index = 0; index < 200; ++index) service_->record(ActivityEvent::frontmost(kEditor, now_ + index));
  });
  threads.emplace_back([&] {
    for (int index = 0; index < 200; ++index) EXPECT_EQ(report(kOwnerA), ActivityBridgeReply::acknowledged());
  });
  threads.emplace_back([&] {
    for (int index = 0; index < 100; ++index) (void)query(kOwnerA);
  });
  threads.emplace_back([&] {
    for (int index = 0; index < 100; ++index) {
      service_->setPaused(index % 2 == 0);
      service_->maintain();
    }
  });
  for (auto& thread : threads) thread.join();
  const auto snapshot = service_->snapshot();
  EXPECT_FALSE(snapshot.settings.paused);
  EXPECT_TRUE(snapshot.capturing);
  // Consecutive publications always differ.
  std::lock_guard lock(mutex_);
  for (size_t index = 1; index < published_.size(); ++index) EXPECT_NE(published_[index], published_[index - 1]);
}

// The local server's path end to end: a child of this process on the real socket.
TEST_F(ActivityServiceTest, AChildReportsItsOwnerAndReadsTheRecordOverTheSocket) {
  const std::string token = ActivityBridgeProtocol::makeToken();
  const std::string path = dir_.path() + "/bridge.sock";
  ActivityBridgeServer server(path, token, ActivityPeer::isChildOfCurrentProcess,
                              [this](const ActivityBridgeRequest& request) { return service_->handle(request); });
  ASSERT_EQ(server.start(), std::nullopt);
  auto exchange = [&](const Json& request) {
    ChildProcessOptions options;
    options.executable = "/usr/bin/node";
    options.arguments = {std::string(TOVARIN_SOURCE_DIR) + "/tests/support/activity-bridge-client.mjs", path, "send",
                         request.dump() + "\n"};
    options.environment = {"PATH=/usr/bin:/bin"};
    options.captureStdout = true;
    auto child = ChildProcess::launch(options).process;
    if (!child) return Json();
    std::string output = child->readAllOutput();
    child->wait();
    return parseJson(output).value_or(Json());
  };

  EXPECT_EQ(exchange({{"v", 1}, {"token", token}, {"op", "owner"}, {"owner", kOwnerA}}),
            Json::parse(R"({"result":{"ok":true},"v":1})"));
  ASSERT_EQ(service_->enable(), ActivityService::EnableOutcome::enabled);
  showEditor();
  for (int minute = 0; minute < 3; ++minute) {
    advance(60);
    (void)exchange({{"v", 1}, {"token", token}, {"op", "owner"}, {"owner", kOwnerA}});
  }
  const Json reply = exchange({{"v", 1}, {"token", token}, {"op", "query"}, {"owner", kOwnerA},
                               {"args", {{"from", "2026-03-02"}, {"to", "2026-03-02"}}}});
  ASSERT_TRUE(reply["result"]["items"].is_array()) << reply.dump();
  ASSERT_EQ(reply["result"]["items"].size(), 1u);
  EXPECT_EQ(reply["result"]["items"][0]["app"], "Text Editor");
  EXPECT_EQ(reply["result"]["items"][0]["durationMin"], 3);
  EXPECT_EQ(exchange({{"v", 1}, {"token", token}, {"op", "query"}, {"owner", kOwnerB},
                      {"args", {{"from", "2026-03-02"}, {"to", "2026-03-02"}}}}),
            Json::parse(R"({"result":{"denied":"not_granted"},"v":1})"));
}

}  // namespace
}  // namespace tovarin
