// The record operations of the encrypted store on real SQLite files: appending and
// reading, summaries, pruning, clearing and the key rotation behind it, rebinding,
// starting over after a lost key, destroying, and that nothing readable reaches disk.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <sys/stat.h>

#include "tests/main/activity/ActivityStoreFixture.h"
#include "tests/support/ActivityQueryReference.h"
#include "tests/support/ActivitySampleRecord.h"
#include "tests/support/FileContents.h"

namespace tovarin {
namespace {

using OpenMode = ActivityStore::OpenMode;
using State = ActivityStoreState;

constexpr double kHour = 3600;
constexpr double kH = 1699999200;  // a whole UTC hour

class ActivityStoreRecordsTest : public ActivityStoreTestBase {
 protected:
  ActivityStoreRecordsTest() : calendar_(*Calendar::gregorian("UTC")) {}

  std::vector<ActivityInterval> intervals() {
    auto all = store_->allIntervals();
    EXPECT_TRUE(all.ok());
    return all.value;
  }
  std::vector<HourSummary> summaries() {
    auto all = store_->allSummaries();
    EXPECT_TRUE(all.ok());
    return all.value;
  }
  std::vector<double> summaryHours() {
    std::vector<double> hours;
    for (const auto& summary : summaries()) hours.push_back(summary.hourStart);
    return hours;
  }
  bool ran(std::string_view prefix) const {
    for (const auto& sql : statements_) {
      if (sql.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  // Two intervals in hour kH, one in the next hour, and summaries of both hours.
  void fillTwoHours() {
    openReady();
    ASSERT_TRUE(store_->append({interval("a", kH + 10, kH + 100), interval("b", kH + 200, kH + 500),
                                interval("c", kH + kHour + 100, kH + kHour + 200)})
                    .ok());
    ASSERT_EQ(store_->refreshSummaries(kH + 2 * kHour + 10, calendar_).value, 2);
  }

  Calendar calendar_;
};

TEST_F(ActivityStoreRecordsTest, AppendingNothingOpensNoTransaction) {
  EXPECT_EQ(store_->append({}).error, ActivityStoreError::notReady(State::absent));
  openReady();
  recordStatements();
  EXPECT_TRUE(store_->append({}).ok());
  EXPECT_TRUE(statements_.empty());
}

TEST_F(ActivityStoreRecordsTest, IntervalsComeBackWholeByStartThenIdAndAnIdIsReplaced) {
  openReady();
  ActivityInterval withDomain = interval("m", kH + 50, kH + 60, "");
  withDomain.domain = "example.org";
  ASSERT_TRUE(store_->append({interval("z", kH + 10, kH + 20), withDomain, interval("b", kH + 10, kH + 30)}).ok());
  EXPECT_EQ(intervals(), (std::vector<ActivityInterval>{interval("b", kH + 10, kH + 30), interval("z", kH + 10, kH + 20),
                                                        withDomain}));
  ASSERT_TRUE(store_->append({interval("z", kH + 100, kH + 120, "Renamed")}).ok());
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{3, 0}));
  EXPECT_EQ(intervals().back(), interval("z", kH + 100, kH + 120, "Renamed"));
}

TEST_F(ActivityStoreRecordsTest, AnAppendIsAllOrNothing) {
  openReady();
  for (const char* statement : {"INSERT OR REPLACE INTO intervals", "COMMIT"}) {
    SCOPED_TRACE(statement);
    failStatement(statement, statement[0] == 'I' ? 2 : 1);
    auto appended = store_->append({interval("a", 1, 2), interval("b", 3, 4)});
    EXPECT_EQ(appended.error, ActivityStoreError::sqlite(SQLITE_IOERR, "injected failure"));
    EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
  }
}

TEST_F(ActivityStoreRecordsTest, RowsThatDoNotOpenAreSkippedButCounted) {
  fillTwoHours();
  {
    SideConnection side(databasePath());
    // A payload moved to another row, garbage, and an empty payload.
    ASSERT_TRUE(side.put("intervals", "moved", side.blob("SELECT payload FROM intervals WHERE id = 'a'")));
    ASSERT_TRUE(side.put("intervals", "garbage", std::vector<uint8_t>(40, 7)));
    ASSERT_TRUE(side.put("intervals", "empty", {}));
    ASSERT_TRUE(side.put("summaries", "hour_moved", side.blob("SELECT payload FROM intervals WHERE id = 'a'")));
  }
  EXPECT_EQ(intervals().size(), 3u);
  EXPECT_EQ(summaries().size(), 2u);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{6, 3}));
}

TEST_F(ActivityStoreRecordsTest, SummariesCoverCompleteHoursAndAreWrittenOnlyWhenTheyChange) {
  openReady();
  ASSERT_TRUE(store_->append({interval("a", kH + 10, kH + 100)}).ok());
  EXPECT_EQ(store_->refreshSummaries(kH + 200, calendar_).value, 0) << "the first hour is not complete";
  EXPECT_EQ(store_->counts().value.summaries, 0);

  // Time inside the current hour is left out.
  ASSERT_TRUE(store_->append({interval("b", kH + kHour - 60, kH + kHour + 60)}).ok());
  ASSERT_EQ(store_->refreshSummaries(kH + kHour + 100, calendar_).value, 1);
  ASSERT_EQ(summaries().size(), 1u);
  EXPECT_EQ(summaries()[0].hourStart, kH);
  EXPECT_EQ(summaries()[0].totalSeconds, 150);
  EXPECT_EQ(rowIds("summaries")[0].rfind("hour_", 0), 0u);

  recordStatements();
  EXPECT_EQ(store_->refreshSummaries(kH + kHour + 200, calendar_).value, 1);
  EXPECT_FALSE(ran("INSERT OR REPLACE INTO summaries"));
  EXPECT_FALSE(ran("DELETE FROM summaries"));

  // A summary that no longer opens is deleted, and a changed hour rewritten.
  { SideConnection(databasePath()).put("summaries", "hour_junk", {1, 2, 3}); }
  ASSERT_TRUE(store_->append({interval("c", kH + 1000, kH + 1100)}).ok());
  recordStatements();
  EXPECT_EQ(store_->refreshSummaries(kH + kHour + 300, calendar_).value, 1);
  EXPECT_TRUE(ran("INSERT OR REPLACE INTO summaries"));
  EXPECT_EQ(store_->counts().value.summaries, 1);
  EXPECT_EQ(summaries()[0].totalSeconds, 250);
}

TEST_F(ActivityStoreRecordsTest, ARefreshThatFailsLeavesTheSummariesAsTheyWere) {
  fillTwoHours();
  const auto before = rowIds("summaries");
  ASSERT_TRUE(store_->append({interval("d", kH + 2 * kHour + 10, kH + 2 * kHour + 20)}).ok());
  failStatement("COMMIT");
  EXPECT_FALSE(store_->refreshSummaries(kH + 3 * kHour + 10, calendar_).ok());
  EXPECT_EQ(rowIds("summaries"), before);
}

TEST_F(ActivityStoreRecordsTest, PruneRemovesAndTrimsWhatTheRetentionLeavesBehind) {
  openReady();
  ASSERT_TRUE(store_->append({interval("old", kH + 10, kH + 100), interval("straddles", kH + kHour - 100, kH + kHour + 100),
                              interval("new", kH + kHour + 200, kH + kHour + 300)})
                  .ok());
  ASSERT_EQ(store_->refreshSummaries(kH + 2 * kHour + 10, calendar_).value, 2);

  // Nothing due: no transaction at all.
  recordStatements();
  EXPECT_EQ(store_->prune(kH + 2 * kHour, 1).value, ActivityClearCounts{});
  EXPECT_FALSE(ran("BEGIN"));

  // The cutoff falls on the second hour's start: its summary stays.
  auto pruned = store_->prune(kH + kHour + 86400, 1);
  ASSERT_TRUE(pruned.ok());
  EXPECT_EQ(pruned.value, (ActivityClearCounts{1, 1, 1}));
  EXPECT_EQ(intervals(), (std::vector<ActivityInterval>{interval("straddles", kH + kHour, kH + kHour + 100),
                                                        interval("new", kH + kHour + 200, kH + kHour + 300)}));
  EXPECT_EQ(summaryHours(), std::vector<double>{kH + kHour});
}

TEST_F(ActivityStoreRecordsTest, APruneLeavesUnreadableRowsAndAFailedOneChangesNothing) {
  fillTwoHours();
  { SideConnection(databasePath()).put("intervals", "garbage", std::vector<uint8_t>(40, 7)); }
  failStatement("DELETE FROM summaries");
  EXPECT_FALSE(store_->prune(kH + kHour + 86400, 1).ok());
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{4, 2}));
  store_->failStatementsForTesting(nullptr);
  ASSERT_EQ(store_->prune(kH + kHour + 86400, 1).value, (ActivityClearCounts{2, 0, 1}));
  EXPECT_EQ(rowIds("intervals"), (std::vector<std::string>{"c", "garbage"}));
}

TEST_F(ActivityStoreRecordsTest, ARefreshDropsAnHourThatLostItsIntervals) {
  fillTwoHours();
  { SideConnection(databasePath()).exec("DELETE FROM intervals WHERE id = 'c'"); }
  EXPECT_EQ(store_->refreshSummaries(kH + 3 * kHour, calendar_).value, 1);
  EXPECT_EQ(summaryHours(), std::vector<double>{kH});
  EXPECT_EQ(store_->counts().value.summaries, 1);
}

TEST_F(ActivityStoreRecordsTest, EveryClearMovesTheRecordToANewKey) {
  fillTwoHours();
  const std::string oldKey = storedKeyId();
  const auto oldSummaryIds = rowIds("summaries");
  const auto before = intervals();

  // Nothing recorded in the last 10 minutes, but the second hour ends after the cutoff.
  const double now = kH + 2 * kHour + 300;
  auto cleared = store_->clear(ClearRange::last10Minutes, now);
  ASSERT_TRUE(cleared.ok());
  EXPECT_EQ(cleared.value, (ActivityClearCounts{0, 0, 1}));
  const std::string newKey = storedKeyId();
  EXPECT_NE(newKey, oldKey);
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{newKey}) << "the old key is deleted";
  EXPECT_EQ(intervals(), before);
  EXPECT_EQ(summaryHours(), std::vector<double>{kH});
  for (const auto& id : rowIds("summaries")) {
    EXPECT_EQ(std::find(oldSummaryIds.begin(), oldSummaryIds.end(), id), oldSummaryIds.end()) << id;
  }
  EXPECT_EQ(store_->boundOwner(), kOwner);
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  EXPECT_EQ(store_->boundOwner(), kOwner);
  EXPECT_EQ(intervals(), before);
}

TEST_F(ActivityStoreRecordsTest, ClearingEverythingDropsUnreadableRowsToo) {
  fillTwoHours();
  { SideConnection(databasePath()).put("intervals", "garbage", std::vector<uint8_t>(40, 7)); }
  auto cleared = store_->clear(ClearRange::all, kH + 2 * kHour + 300);
  ASSERT_TRUE(cleared.ok());
  EXPECT_EQ(cleared.value, (ActivityClearCounts{4, 0, 2}));
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
  EXPECT_EQ(rowIds("meta"), (std::vector<std::string>{"key_check", "key_id", "owner", "schema"}));
}

// Only someone holding the key could store such hours; a clear drops them and counts
// them as deleted instead of turning them into an id.
TEST_F(ActivityStoreRecordsTest, AClearDropsHoursNoWholeNumberCanName) {
  fillTwoHours();
  ActivityCipher cipher(keys_->keys.keys().at(storedKeyId()));
  for (double start : {-1e300, -9.3e18}) {
    HourSummary odd{start, start, {}, 0};
    const std::string id = "hour_odd" + std::to_string(start);
    const std::string json = odd.toJson().dump();
    SideConnection(databasePath()).put("summaries", id, cipher.seal({json.begin(), json.end()}, "summaries:" + id).value);
  }
  ASSERT_EQ(summaries().size(), 4u);
  auto cleared = store_->clear(ClearRange::last10Minutes, kH + 2 * kHour + 300);
  ASSERT_TRUE(cleared.ok());
  EXPECT_EQ(cleared.value, (ActivityClearCounts{0, 0, 3}));
  EXPECT_EQ(summaryHours(), std::vector<double>{kH});
}

TEST_F(ActivityStoreRecordsTest, ClearingTheLastHourTrimsWhatStraddlesIt) {
  openReady();
  const double now = kH + 5 * kHour;
  ASSERT_TRUE(store_->append({interval("a", now - 2 * kHour, now - kHour - 10), interval("b", now - kHour - 60, now - kHour + 60),
                              interval("c", now - 100, now - 50)})
                  .ok());
  auto cleared = store_->clear(ClearRange::lastHour, now);
  ASSERT_TRUE(cleared.ok());
  EXPECT_EQ(cleared.value, (ActivityClearCounts{1, 1, 0}));
  EXPECT_EQ(intervals(), (std::vector<ActivityInterval>{interval("a", now - 2 * kHour, now - kHour - 10),
                                                        interval("b", now - kHour - 60, now - kHour)}));
}

// A rotation that fails anywhere leaves records, key, key store and owner as they were.
TEST_F(ActivityStoreRecordsTest, AFailedRotationKeepsTheOldKeyAndRecords) {
  fillTwoHours();
  const std::string oldKey = storedKeyId();
  const auto beforeIntervals = intervals();
  const auto beforeSummaries = summaries();
  const auto beforeSummaryIds = rowIds("summaries");
  struct Fault {
    const char* statement;  // nullptr: the key store refuses the new key
  };
  for (const Fault fault : {Fault{"BEGIN IMMEDIATE"}, Fault{"DELETE FROM intervals"}, Fault{"DELETE FROM summaries"},
                            Fault{"INSERT INTO intervals"}, Fault{"INSERT OR REPLACE INTO summaries"},
                            Fault{"INSERT OR REPLACE INTO meta"}, Fault{"COMMIT"}, Fault{nullptr}}) {
    SCOPED_TRACE(fault.statement ? fault.statement : "key store");
    if (fault.statement) {
      failStatement(fault.statement);
    } else {
      keys_->saveError = ActivityKeyError::failure(-1);
    }
    auto cleared = store_->clear(ClearRange::last10Minutes, kH + 2 * kHour + 300);
    ASSERT_FALSE(cleared.ok());
    EXPECT_EQ(cleared.error->kind,
              fault.statement ? ActivityStoreError::Kind::sqlite : ActivityStoreError::Kind::keyStore);
    store_->failStatementsForTesting(nullptr);
    keys_->saveError.reset();

    EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{oldKey}) << "the new key is deleted";
    EXPECT_EQ(storedKeyId(), oldKey);
    EXPECT_EQ(rowIds("summaries"), beforeSummaryIds);
    EXPECT_EQ(intervals(), beforeIntervals);
    EXPECT_EQ(summaries(), beforeSummaries);
    EXPECT_EQ(store_->boundOwner(), kOwner);
  }
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  EXPECT_EQ(intervals(), beforeIntervals);
}

TEST_F(ActivityStoreRecordsTest, ARotationThatAReaderBlocksAtCommitIsRolledBack) {
  fillTwoHours();
  const std::string oldKey = storedKeyId();
  SideConnection reader(databasePath());
  ASSERT_EQ(reader.exec("BEGIN"), SQLITE_OK);
  ASSERT_EQ(reader.column("SELECT COUNT(*) FROM intervals"), std::vector<std::string>{"3"});
  auto cleared = store_->clear(ClearRange::all, kH + 2 * kHour + 300);
  ASSERT_FALSE(cleared.ok());
  EXPECT_EQ(cleared.error->code, SQLITE_BUSY);
  ASSERT_EQ(reader.exec("COMMIT"), SQLITE_OK);
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{oldKey});
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{3, 2}));
  EXPECT_EQ(intervals().size(), 3u);
  EXPECT_TRUE(store_->clear(ClearRange::all, kH + 2 * kHour + 300).ok());
}

TEST_F(ActivityStoreRecordsTest, RebindingDeletesTheRecordAndBindsANewKeyToTheOtherAccount) {
  fillTwoHours();
  const std::string oldKey = storedKeyId();
  EXPECT_EQ(store_->rebind("not-an-account").error, ActivityStoreError::invalidOwner());
  EXPECT_EQ(storedKeyId(), oldKey);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{3, 2}));
  EXPECT_EQ(store_->boundOwner(), kOwner);

  auto rebound = store_->rebind(kOtherOwner);
  ASSERT_TRUE(rebound.ok());
  EXPECT_EQ(rebound.value, (ActivityClearCounts{3, 0, 2}));
  EXPECT_EQ(store_->boundOwner(), kOtherOwner);
  EXPECT_NE(storedKeyId(), oldKey);
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{storedKeyId()});
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  EXPECT_EQ(store_->boundOwner(), kOtherOwner);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
}

class ActivityStoreResetTest : public ActivityStoreRecordsTest {
 protected:
  // A record whose key is gone.
  void loseTheKey() {
    fillTwoHours();
    keys_->keys.removeAll();
    ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::keyMissing);
  }
};

TEST_F(ActivityStoreResetTest, ResetAfterALostKeyStartsAnEmptyRecordUnderANewKey) {
  loseTheKey();
  auto reset = store_->resetAfterKeyLoss(kOtherOwner);
  ASSERT_TRUE(reset.ok());
  EXPECT_TRUE(reset.recordsWiped);
  EXPECT_EQ(reset.value, (ActivityClearCounts{3, 0, 2}));
  EXPECT_EQ(store_->state(), State::ready);
  EXPECT_EQ(store_->boundOwner(), kOtherOwner);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
  EXPECT_EQ(rowIds("meta"), (std::vector<std::string>{"key_check", "key_id", "owner", "schema"}));
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{storedKeyId()});
  EXPECT_TRUE(store_->append({interval("x", 1, 2)}).ok());
}

TEST_F(ActivityStoreResetTest, ResetWorksOnALockedKeyButNeedsAConnection) {
  EXPECT_EQ(store_->resetAfterKeyLoss(kOwner).error, ActivityStoreError::notReady(State::absent));
  fillTwoHours();
  keys_->keys.loadError = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::keyLocked);
  keys_->keys.loadError.reset();
  auto reset = store_->resetAfterKeyLoss(std::nullopt);
  ASSERT_TRUE(reset.ok());
  EXPECT_EQ(store_->state(), State::ready);
  EXPECT_EQ(store_->boundOwner(), std::nullopt);
}

// The caller must be able to tell the user that the records are gone even when the
// new key then fails.
TEST_F(ActivityStoreResetTest, AResetWhoseNewKeyFailsSaysThatTheRecordsAreAlreadyWiped) {
  struct Case {
    const char* name;
    std::optional<std::string> owner;
    bool refuseKey;
    ActivityStoreError::Kind error;
  };
  for (const Case& c : {Case{"an invalid owner", std::string("nobody"), false, ActivityStoreError::Kind::invalidOwner},
                        Case{"a refused key", kOwner, true, ActivityStoreError::Kind::keyStore}}) {
    SCOPED_TRACE(c.name);
    store_.reset();
    keys_ = std::make_shared<FlakyKeyStore>();
    std::filesystem::remove_all(directory());
    makeStore();
    loseTheKey();
    if (c.refuseKey) keys_->saveError = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
    auto reset = store_->resetAfterKeyLoss(c.owner);
    ASSERT_FALSE(reset.ok());
    EXPECT_EQ(reset.error->kind, c.error);
    EXPECT_TRUE(reset.recordsWiped);
    EXPECT_EQ(reset.value, (ActivityClearCounts{3, 0, 2}));
    EXPECT_EQ(store_->state(), State::keyMissing);
    EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
    EXPECT_TRUE(rowIds("meta").empty());
    EXPECT_TRUE(keys_->keys.ids().empty());
  }
}

TEST_F(ActivityStoreResetTest, AWipeThatFailsKeepsTheRecordsAndSaysSo) {
  loseTheKey();
  failStatement("DELETE FROM summaries");
  auto reset = store_->resetAfterKeyLoss(kOwner);
  ASSERT_FALSE(reset.ok());
  EXPECT_FALSE(reset.recordsWiped);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{3, 2}));
  EXPECT_EQ(store_->state(), State::keyMissing);
}

TEST_F(ActivityStoreRecordsTest, DestroyingARecordNeverOpenedRemovesKeysAndTheEmptyDirectory) {
  std::filesystem::create_directories(directory());
  keys_->keys.put("k_a", SecretBytes{1});
  keys_->keys.put("k_b", SecretBytes{2});
  auto destroyed = store_->destroy();
  ASSERT_TRUE(destroyed.ok());
  EXPECT_EQ(destroyed.value, (ActivityDestroyCounts{0, 0, 2}));
  EXPECT_TRUE(keys_->keys.ids().empty());
  EXPECT_FALSE(std::filesystem::exists(directory()));
  EXPECT_TRUE(std::filesystem::exists(home_.path() + "/data"));
  EXPECT_EQ(store_->state(), State::absent);
}

TEST_F(ActivityStoreRecordsTest, DestroyingRemovesTheFileItsSideFilesAndCountsWhatItHeld) {
  fillTwoHours();
  store_->close();
  makeStore();  // a store that never opened the file counts it on its own
  std::ofstream(databasePath() + "-journal").close();
  std::ofstream(directory() + "/unrelated").close();
  auto destroyed = store_->destroy();
  ASSERT_TRUE(destroyed.ok());
  EXPECT_EQ(destroyed.value, (ActivityDestroyCounts{3, 2, 1}));
  EXPECT_FALSE(std::filesystem::exists(databasePath()));
  EXPECT_FALSE(std::filesystem::exists(databasePath() + "-journal"));
  EXPECT_TRUE(std::filesystem::exists(directory())) << "a directory with other files stays";
}

TEST_F(ActivityStoreRecordsTest, ADestroyThatStopsCanBeCalledAgainToFinish) {
  fillTwoHours();
  std::filesystem::create_directories(databasePath() + "-journal/inside");  // cannot be removed as a file
  auto destroyed = store_->destroy();
  ASSERT_FALSE(destroyed.ok());
  EXPECT_EQ(destroyed.error->kind, ActivityStoreError::Kind::fileSystem);
  EXPECT_EQ(keys_->keys.ids().size(), 1u) << "the keys stay";
  EXPECT_EQ(store_->state(), State::ready);

  std::filesystem::remove_all(databasePath() + "-journal");
  keys_->removeError = ActivityKeyError::failure(-1);
  EXPECT_EQ(store_->destroy().error, ActivityStoreError::keyStore(ActivityKeyError::failure(-1)));
  keys_->removeError.reset();
  destroyed = store_->destroy();
  ASSERT_TRUE(destroyed.ok());
  EXPECT_EQ(destroyed.value, (ActivityDestroyCounts{0, 0, 1}));
  EXPECT_FALSE(std::filesystem::exists(directory()));
  EXPECT_EQ(store_->state(), State::absent);
}

TEST_F(ActivityStoreRecordsTest, QueriesNameTheirItemsUnderTheCurrentKey) {
  openReady();
  ASSERT_TRUE(store_->append({interval("a", kH + 10, kH + 700)}).ok());
  const ActivityQueryArgs day{"2023-11-14", "2023-11-14", std::nullopt, std::nullopt};
  auto answered = store_->query(day, kH + kHour, calendar_);
  ASSERT_TRUE(answered.ok() && answered.value);
  ASSERT_EQ(answered.value->items.size(), 1u);
  const std::string firstId = answered.value->items[0].id;
  EXPECT_EQ(firstId.rfind("act_", 0), 0u);
  EXPECT_EQ(answered.value->items[0].title, "Report");

  ASSERT_TRUE(store_->clear(ClearRange::last10Minutes, kH + 2 * kHour).ok());
  answered = store_->query(day, kH + kHour, calendar_);
  ASSERT_TRUE(answered.ok() && answered.value);
  ASSERT_EQ(answered.value->items.size(), 1u);
  EXPECT_NE(answered.value->items[0].id, firstId) << "item ids change with the key";

  auto invalid = store_->query({"2023-13-01", "2023-13-01", std::nullopt, std::nullopt}, kH, calendar_);
  ASSERT_TRUE(invalid.ok());
  EXPECT_FALSE(invalid.value);
}

// The store reads the intervals without a general JSON parser and answers queries
// making items only for the rows kept: over a varied record every answer must be the
// one of decoding every row and answering straightforwardly, ids under the record's key.
TEST_F(ActivityStoreRecordsTest, QueriesAnswerAsTheStraightforwardQueryOverTheStoredRecord) {
  openReady();
  const std::vector<ActivityInterval> record = activitySampleRecord();
  ASSERT_TRUE(store_->append(record).ok());
  EXPECT_EQ(intervals(), record);
  auto key = keys_->keys.load(storedKeyId());
  ASSERT_TRUE(key.ok() && key.value);
  const ActivityCipher cipher(*key.value);
  const auto itemId = [&cipher](const std::string& rowKey) { return cipher.itemId(rowKey); };
  const Calendar berlin = *Calendar::gregorian("Europe/Berlin");
  for (double now : {kSampleRecordEnd + 86400, kSampleRecordStart + 4.5 * 86400}) {
    for (const ActivityQueryArgs& args : activitySampleQueries()) {
      auto answer = store_->query(args, now, berlin);
      ASSERT_TRUE(answer.ok());
      EXPECT_EQ(answer.value, ActivityQueryReference::run(args, record, now, berlin, itemId))
          << args.from << ".." << args.to << " " << args.app.value_or("-") << " " << args.text.value_or("-");
    }
  }
}

// Values sealed in another JSON shape than the store writes today (blanks, another key
// order, a null domain, a key more) read as they always did; sealed text that is not an
// interval is skipped.
TEST_F(ActivityStoreRecordsTest, IntervalsOfOtherShapesReadAsBefore) {
  openReady();
  auto key = keys_->keys.load(storedKeyId());
  ASSERT_TRUE(key.ok() && key.value);
  const ActivityCipher cipher(*key.value);
  const std::pair<const char*, std::string> rows[] = {
      {"spaced", R"({ "id": "spaced", "bundleId": "b", "appName": "A", "title": "Té", "start": 1e3, "end": 1100 })"},
      {"nulled", R"({"start":900,"end":950.5,"title":"x","id":"nulled","domain":null,"bundleId":"b","appName":"A","v":2})"},
      {"broken", R"({"id":"broken","bundleId":"b","appName":"A","title":"x","start":1,"end":)"},
      {"other", R"({"id":"elsewhere","bundleId":"b","appName":"A","title":"x","start":1,"end":2})"},
  };
  {
    SideConnection side(databasePath());
    for (const auto& [id, text] : rows) {
      auto sealed = cipher.seal(std::vector<uint8_t>(text.begin(), text.end()), std::string("intervals:") + id);
      ASSERT_TRUE(sealed.ok());
      ASSERT_TRUE(side.put("intervals", id, sealed.value));
    }
  }
  EXPECT_EQ(intervals(), (std::vector<ActivityInterval>{{"nulled", "b", "A", "x", std::nullopt, 900, 950.5},
                                                        {"spaced", "b", "A", "T\xC3\xA9", std::nullopt, 1000, 1100}}));
}

// Nothing the user did reaches the disk readable: not in the database, and not in the
// rollback journal while a write is under way.
TEST_F(ActivityStoreRecordsTest, NoRecordedTextReachesTheFileOrItsJournal) {
  const std::vector<std::string> secrets = {"Zyxquv-Ledger-7781", "org.distinct.Appqqz", "Qwvlmnapp", "hidden-host.example"};
  openReady();
  std::string journals;
  std::set<mode_t> journalModes;
  store_->failStatementsForTesting([&](std::string_view sql) {
    if (sql != "COMMIT") return false;
    journals += readFile(databasePath() + "-journal");
    struct stat info {};
    if (::stat((databasePath() + "-journal").c_str(), &info) == 0) journalModes.insert(info.st_mode & 07777);
    return false;
  });
  ActivityInterval secret = interval("s1", kH + 10, kH + 900, secrets[0]);
  secret.bundleId = secrets[1];
  secret.appName = secrets[2];
  secret.domain = secrets[3];
  ASSERT_TRUE(store_->append({secret}).ok());
  ASSERT_EQ(store_->refreshSummaries(kH + kHour + 10, calendar_).value, 1);
  secret.end += 60;
  ASSERT_TRUE(store_->append({secret, interval("s2", kH + kHour + 10, kH + kHour + 20)}).ok());
  ASSERT_EQ(store_->refreshSummaries(kH + 2 * kHour + 10, calendar_).value, 2);
  ASSERT_TRUE(store_->prune(kH + kHour + 86400 + 15, 1).ok());
  ASSERT_TRUE(store_->clear(ClearRange::last10Minutes, kH + 2 * kHour + 10).ok());
  ASSERT_TRUE(store_->rebind(kOtherOwner).ok());

  ASSERT_FALSE(journals.empty()) << "the journals were caught while writes were under way";
  EXPECT_EQ(journalModes, std::set<mode_t>{0600}) << "the journal is as private as the file";
  const std::string file = readFile(databasePath());
  // The search itself works: what is meant to be plain is found.
  EXPECT_NE(file.find(storedKeyId()), std::string::npos);
  EXPECT_NE(journals.find("k_"), std::string::npos);
  for (const std::string& text : secrets) {
    EXPECT_EQ(file.find(text), std::string::npos) << text;
    EXPECT_EQ(journals.find(text), std::string::npos) << text;
  }
  for (const std::string& owner : {kOwner, kOtherOwner}) {
    EXPECT_EQ(file.find(owner), std::string::npos);
    EXPECT_EQ(journals.find(owner), std::string::npos);
  }
}

}  // namespace
}  // namespace tovarin
