#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Calendar.h"
#include "main/activity/ActivityCipher.h"
#include "main/activity/ActivityClearCounts.h"
#include "main/activity/ActivityDestroyCounts.h"
#include "main/activity/ActivityKeyStore.h"
#include "main/activity/ActivityStoreError.h"
#include "main/activity/SqliteStatement.h"
#include "main/activity_core/ActivityInterval.h"
#include "main/activity_core/ActivityQueryArgs.h"
#include "main/activity_core/ActivityQueryResult.h"
#include "main/activity_core/ActivityStoreState.h"
#include "main/activity_core/ClearRange.h"
#include "main/activity_core/HourSummary.h"

struct sqlite3;

namespace tovarin {

// The activity record on disk: one SQLite file in a directory of its own, whose every
// interval, hour summary and owner value is sealed under a random key that lives in the
// key store, never in the file. Not thread-safe: the activity service calls it from its
// one serial queue. Every operation runs to completion on the caller's thread.
class ActivityStore final {
 public:
  static constexpr const char* kFileName = "activity.sqlite";
  static constexpr const char* kSchemaVersion = "1";
  // The known plaintext that proves that a key opens this file.
  static const std::vector<uint8_t>& keyCheckPlaintext();

  enum class OpenMode { existingOnly, createIfMissing };

  struct RowCounts {
    int64_t intervals = 0;
    int64_t summaries = 0;
    bool operator==(const RowCounts&) const = default;
  };

  // The reset's answer. `recordsWiped` tells, also on failure, whether the unreadable
  // records are already gone: a reset whose new key then fails has still wiped them.
  struct [[nodiscard]] ResetOutcome {
    ActivityClearCounts value;
    std::optional<ActivityStoreError> error;
    bool recordsWiped = false;
    bool ok() const { return !error.has_value(); }
  };

  // Opens nothing.
  ActivityStore(std::string directory, std::shared_ptr<ActivityKeyStore> keyStore);
  ~ActivityStore();
  ActivityStore(const ActivityStore&) = delete;
  ActivityStore& operator=(const ActivityStore&) = delete;

  // Closes first, then opens the file (making directory, file and a first key with
  // `createIfMissing`) and checks that the stored key opens it. An error leaves `state`
  // as it was; a connection already made then stays open with no key. A symbolic link
  // or another user's file in place of the directory, database or a side file is
  // refused with a fileSystem error before anything is touched.
  ActivityStoreOutcome<ActivityStoreState> open(OpenMode mode, const std::optional<std::string>& owner = std::nullopt);
  // Forgets connection, key and owner; leaves `state` as it was.
  void close();
  // Needs an open connection only.
  ActivityStoreOutcome<RowCounts> counts();

  ActivityStoreState state() const { return state_; }
  const std::optional<std::string>& boundOwner() const { return boundOwner_; }
  const std::string& directory() const { return directory_; }
  const std::string& databasePath() const { return databasePath_; }

  // Records. All need a ready store unless said otherwise.
  ActivityStoreOutcome<ActivityStoreDone> append(const std::vector<ActivityInterval>& intervals);
  // By start, then id; rows that do not open or decode are skipped.
  ActivityStoreOutcome<std::vector<ActivityInterval>> allIntervals();
  // By hour start; rows that do not open or decode are skipped.
  ActivityStoreOutcome<std::vector<HourSummary>> allSummaries();
  // Nothing in `value` for invalid arguments.
  ActivityStoreOutcome<std::optional<ActivityQueryResult>> query(const ActivityQueryArgs& args, double now,
                                                                 const Calendar& calendar);
  // Keeps the stored summaries equal to those of every complete hour before `now`;
  // the number of summaries computed.
  ActivityStoreOutcome<int64_t> refreshSummaries(double now, const Calendar& calendar);
  ActivityStoreOutcome<ActivityClearCounts> prune(double now, int64_t retentionDays);
  // Every clear moves the record to a new key, whatever the range.
  ActivityStoreOutcome<ActivityClearCounts> clear(ClearRange range, double now);
  // Deletes the whole record and binds a new key to another account.
  ActivityStoreOutcome<ActivityClearCounts> rebind(const std::string& owner);
  // Starts over when the key is gone or refused; needs an open connection only.
  ResetOutcome resetAfterKeyLoss(const std::optional<std::string>& owner);
  // Removes the file, its side files, every key of the key store and the empty directory;
  // refuses, touching nothing, where open() would.
  ActivityStoreOutcome<ActivityDestroyCounts> destroy();

  // Tests only: while set, every statement whose text the predicate accepts fails
  // before it runs, as SQLite's I/O error would.
  void failStatementsForTesting(std::function<bool(std::string_view sql)> predicate) {
    failStatement_ = std::move(predicate);
  }

 private:
  static constexpr const char* kKeyCheckLabel = "meta:key_check";
  static constexpr const char* kOwnerLabel = "meta:owner";

  struct Closer {
    void operator()(sqlite3* db) const;
  };
  using Connection = std::unique_ptr<sqlite3, Closer>;
  // One statement parameter.
  struct Binding {
    enum class Kind { text, blob } kind;
    std::string text;
    std::vector<uint8_t> blob;
    static Binding ofText(std::string value) { return {Kind::text, std::move(value), {}}; }
    static Binding ofBlob(std::vector<uint8_t> value) { return {Kind::blob, {}, std::move(value)}; }
  };
  using Row = std::pair<std::string, std::vector<uint8_t>>;
  using Failure = std::optional<ActivityStoreError>;  // nothing: success
  using Body = std::function<Failure()>;
  struct StoredSummary {
    std::string rowId;
    HourSummary summary;
  };
  // A fresh key with its id and cipher, saved in the key store.
  struct NewKey {
    std::string id;
    ActivityCipher cipher;
  };

  Failure exec(const char* sql);
  ActivityStoreOutcome<SqliteStatement> prepare(const char* sql, const std::vector<Binding>& bindings);
  Failure run(const char* sql, const std::vector<Binding>& bindings);
  ActivityStoreOutcome<std::vector<Row>> select(const char* sql, const std::vector<Binding>& bindings = {});
  // Hands each row's id and payload to `take` as SQLite holds them, without copies.
  using TakeRow = std::function<void(const char* id, std::span<const uint8_t> payload)>;
  Failure selectEach(const char* sql, const std::vector<Binding>& bindings, const TakeRow& take);
  ActivityStoreOutcome<RowCounts> rowCounts();
  ActivityStoreOutcome<std::optional<std::vector<uint8_t>>> metaBlob(const char* key);
  std::optional<std::string> readOwner(const ActivityCipher& cipher);
  ActivityStoreOutcome<const ActivityCipher*> requireReady() const;
  Failure inWriteTransaction(const Body& body);
  Failure injectedFailure(const char* sql) const;

  Failure makeDirectory() const;
  // Refuses a directory, database or side file that is a symbolic link or not this
  // user's, touching nothing.
  Failure refuseForeignFiles() const;
  void restrictDatabaseMode() const;
  // The database's path with the folders above the record's own resolved.
  std::string resolvedDatabasePath() const;
  ActivityStoreOutcome<ActivityStoreState> checkKey(const std::string& keyId);
  Failure initializeKey(const std::optional<std::string>& owner);
  ActivityStoreOutcome<NewKey> makeKey();
  void forgetKey(const std::string& id);
  void sweepStaleKeys();
  // The meta rows of a new key: its id, its key check and the owner (or none), sealed
  // under the new key.
  Failure writeKeyRows(const NewKey& key, const std::optional<std::string>& owner);

  ActivityStoreOutcome<std::vector<StoredSummary>> storedSummaries();
  ActivityStoreOutcome<ActivityStoreDone> rotateKey(const std::vector<ActivityInterval>& keeping,
                                                    const std::vector<HourSummary>& summaries,
                                                    const std::optional<std::string>& owner);
  Failure writeInterval(const ActivityCipher& cipher, const ActivityInterval& interval, const char* sql);
  Failure writeSummary(const ActivityCipher& cipher, const std::string& rowId, const HourSummary& summary);

  const std::string directory_;
  const std::string databasePath_;
  const std::shared_ptr<ActivityKeyStore> keyStore_;
  Connection db_;
  std::optional<ActivityCipher> cipher_;
  std::optional<std::string> keyId_;
  ActivityStoreState state_ = ActivityStoreState::absent;
  std::optional<std::string> boundOwner_;
  std::function<bool(std::string_view)> failStatement_;
};

}  // namespace tovarin
