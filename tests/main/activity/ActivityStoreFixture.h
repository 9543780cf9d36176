#pragma once

// What the store's tests share: a store on a real SQLite file in a fresh directory,
// keys in memory behind a key store that can be made to fail, and a second connection
// to the same file for looking at, and tampering with, what is stored.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "main/activity/ActivityStore.h"
#include "main/activity/MemoryKeyStore.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// Keys in memory whose operations can each be made to fail.
class FlakyKeyStore final : public ActivityKeyStore {
 public:
  ActivityKeyOutcome<std::optional<SecretBytes>> load(const std::string& id) override { return keys.load(id); }
  ActivityKeyOutcome<ActivityKeyDone> save(const std::string& id, const SecretBytes& key) override {
    if (saveError) return ActivityKeyOutcome<ActivityKeyDone>::failed(*saveError);
    return keys.save(id, key);
  }
  ActivityKeyOutcome<ActivityKeyDone> remove(const std::string& id) override {
    if (removeError) return ActivityKeyOutcome<ActivityKeyDone>::failed(*removeError);
    return keys.remove(id);
  }
  ActivityKeyOutcome<std::vector<std::string>> allIds() override {
    if (listError) return ActivityKeyOutcome<std::vector<std::string>>::failed(*listError);
    return keys.allIds();
  }

  MemoryKeyStore keys;
  std::optional<ActivityKeyError> saveError;
  std::optional<ActivityKeyError> removeError;
  std::optional<ActivityKeyError> listError;
};

// A connection of its own to a database file, for the test's side of the story.
class SideConnection final {
 public:
  explicit SideConnection(const std::string& path) { sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr); }
  ~SideConnection() { sqlite3_close_v2(db_); }
  SideConnection(const SideConnection&) = delete;
  SideConnection& operator=(const SideConnection&) = delete;

  // SQLite's result code of running the text.
  int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
  // The first column of every row, as text.
  std::vector<std::string> column(const std::string& sql) {
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return {"<prepare failed>"};
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      values.emplace_back(text ? text : "<null>");
    }
    sqlite3_finalize(statement);
    return values;
  }
  std::vector<uint8_t> blob(const std::string& sql) {
    std::vector<uint8_t> bytes;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return bytes;
    if (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 0));
      bytes.assign(data, data + sqlite3_column_bytes(statement, 0));
    }
    sqlite3_finalize(statement);
    return bytes;
  }
  // Stores `bytes` as `v` of meta row `k`, or as the payload of a row of `table`.
  bool put(const std::string& table, const std::string& key, const std::vector<uint8_t>& bytes) {
    const std::string sql = table == "meta" ? "INSERT OR REPLACE INTO meta (k, v) VALUES (?, ?)"
                                            : "INSERT OR REPLACE INTO " + table + " (id, payload) VALUES (?, ?)";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_text(statement, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (bytes.empty()) {
      sqlite3_bind_zeroblob(statement, 2, 0);
    } else {
      sqlite3_bind_blob(statement, 2, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_finalize(statement);
    return done;
  }

 private:
  sqlite3* db_ = nullptr;
};

// A database of another program, readable by others as such files often are.
inline void makeOtherDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('mine')", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ::chmod(path.c_str(), 0644);
}

inline const std::string kOwner = std::string(64, 'a');
inline const std::string kOtherOwner = std::string(32, 'b') + std::string(32, '0');

inline ActivityInterval interval(std::string id, double start, double end, std::string title = "Report") {
  ActivityInterval made;
  made.id = std::move(id);
  made.bundleId = "org.example.Editor";
  made.appName = "Editor";
  made.title = std::move(title);
  made.start = start;
  made.end = end;
  return made;
}

class ActivityStoreTestBase : public testing::Test {
 protected:
  ActivityStoreTestBase() : keys_(std::make_shared<FlakyKeyStore>()) { makeStore(); }

  void makeStore() { store_ = std::make_unique<ActivityStore>(directory(), keys_); }
  std::string directory() const { return home_.path() + "/data/Activity"; }
  std::string databasePath() const { return directory() + "/activity.sqlite"; }

  // A ready store bound to kOwner.
  void openReady() {
    auto opened = store_->open(ActivityStore::OpenMode::createIfMissing, kOwner);
    ASSERT_TRUE(opened.ok());
    ASSERT_EQ(opened.value, ActivityStoreState::ready);
  }
  std::string storedKeyId() {
    SideConnection side(databasePath());
    auto ids = side.column("SELECT CAST(v AS TEXT) FROM meta WHERE k = 'key_id'");
    return ids.empty() ? "" : ids.front();
  }
  std::vector<std::string> rowIds(const std::string& table) {
    SideConnection side(databasePath());
    return side.column("SELECT " + std::string(table == "meta" ? "k" : "id") + " FROM " + table + " ORDER BY 1");
  }
  // Every statement the store runs from now on, in order.
  void recordStatements() {
    statements_.clear();
    store_->failStatementsForTesting([this](std::string_view sql) {
      statements_.emplace_back(sql);
      return false;
    });
  }
  // Fails the statements whose text starts with `prefix`, from the `nth` (1-based) on.
  void failStatement(std::string prefix, int nth = 1) {
    auto seen = std::make_shared<int>(0);
    store_->failStatementsForTesting([prefix, nth, seen](std::string_view sql) {
      return sql.rfind(prefix, 0) == 0 && ++*seen >= nth;
    });
  }

  TempDir home_;
  std::shared_ptr<FlakyKeyStore> keys_;
  std::unique_ptr<ActivityStore> store_;
  std::vector<std::string> statements_;
};

}  // namespace tovarin
