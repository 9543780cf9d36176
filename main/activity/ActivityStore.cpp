#include "main/activity/ActivityStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "base/RandomUuid.h"
#include "base/Text.h"
#include "main/activity_core/ActivityOwnership.h"

namespace tovarin {
namespace {

constexpr const char* kPutMeta = "INSERT OR REPLACE INTO meta (k, v) VALUES (?, ?)";
constexpr const char* kDeleteMeta = "DELETE FROM meta WHERE k = ?";
constexpr int kInjectedFailure = SQLITE_IOERR;

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// "k_" and a new UUID in lower case.
std::string newKeyId() { return "k_" + text::lowercased(randomUuid()); }

// The message of the connection's last failure, read before its statement is finalized.
std::string lastMessage(sqlite3* db, const char* fallback) {
  if (!db) return fallback;
  const char* message = sqlite3_errmsg(db);
  return message ? message : fallback;
}

}  // namespace

const std::vector<uint8_t>& ActivityStore::keyCheckPlaintext() {
  static const std::vector<uint8_t> plaintext = bytesOf("tovarin-activity-key-check-v1");
  return plaintext;
}

void ActivityStore::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

ActivityStore::ActivityStore(std::string directory, std::shared_ptr<ActivityKeyStore> keyStore)
    : directory_(std::move(directory)),
      databasePath_((std::filesystem::path(directory_) / kFileName).string()),
      keyStore_(std::move(keyStore)) {}

ActivityStore::~ActivityStore() { close(); }

// ---- statements ----

ActivityStore::Failure ActivityStore::injectedFailure(const char* sql) const {
  if (failStatement_ && failStatement_(sql)) return ActivityStoreError::sqlite(kInjectedFailure, "injected failure");
  return std::nullopt;
}

ActivityStore::Failure ActivityStore::exec(const char* sql) {
  if (!db_) return ActivityStoreError::notReady(state_);
  if (auto failure = injectedFailure(sql)) return failure;
  char* error = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &error) == SQLITE_OK) return std::nullopt;
  std::string message = error ? error : "exec failed";
  sqlite3_free(error);
  return ActivityStoreError::sqlite(sqlite3_errcode(db_.get()), std::move(message));
}

ActivityStoreOutcome<SqliteStatement> ActivityStore::prepare(const char* sql, const std::vector<Binding>& bindings) {
  using Outcome = ActivityStoreOutcome<SqliteStatement>;
  if (!db_) return Outcome::failed(ActivityStoreError::notReady(state_));
  if (auto failure = injectedFailure(sql)) return Outcome::failed(*failure);
  sqlite3_stmt* raw = nullptr;
  const int result = sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
  SqliteStatement statement(raw);
  if (result != SQLITE_OK || !statement) {
    return Outcome::failed(ActivityStoreError::sqlite(sqlite3_errcode(db_.get()), lastMessage(db_.get(), "")));
  }
  int index = 1;
  for (const Binding& binding : bindings) {
    int bound = SQLITE_OK;
    if (binding.kind == Binding::Kind::text) {
      bound = sqlite3_bind_text(statement.get(), index, binding.text.c_str(), -1, SQLITE_TRANSIENT);
    } else if (binding.blob.empty()) {
      bound = sqlite3_bind_zeroblob(statement.get(), index, 0);  // empty bytes, never NULL
    } else {
      bound = sqlite3_bind_blob(statement.get(), index, binding.blob.data(), static_cast<int>(binding.blob.size()),
                                SQLITE_TRANSIENT);
    }
    if (bound != SQLITE_OK) return Outcome::failed(ActivityStoreError::sqlite(bound, "bind failed"));
    ++index;
  }
  return {std::move(statement), std::nullopt};
}

ActivityStore::Failure ActivityStore::run(const char* sql, const std::vector<Binding>& bindings) {
  auto prepared = prepare(sql, bindings);
  if (!prepared.ok()) return prepared.error;
  const int result = sqlite3_step(prepared.value.get());
  if (result == SQLITE_ROW || result == SQLITE_DONE) return std::nullopt;
  return ActivityStoreError::sqlite(result, lastMessage(db_.get(), "step failed"));
}

ActivityStore::Failure ActivityStore::selectEach(const char* sql, const std::vector<Binding>& bindings,
                                                 const TakeRow& take) {
  auto prepared = prepare(sql, bindings);
  if (!prepared.ok()) return prepared.error;
  sqlite3_stmt* statement = prepared.value.get();
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 1));
    const int size = sqlite3_column_bytes(statement, 1);
    take(text ? text : "", blob && size > 0 ? std::span<const uint8_t>(blob, static_cast<size_t>(size))
                                            : std::span<const uint8_t>());
  }
  if (result != SQLITE_DONE) return ActivityStoreError::sqlite(result, lastMessage(db_.get(), "step failed"));
  return std::nullopt;
}

ActivityStoreOutcome<std::vector<ActivityStore::Row>> ActivityStore::select(const char* sql,
                                                                           const std::vector<Binding>& bindings) {
  using Outcome = ActivityStoreOutcome<std::vector<Row>>;
  std::vector<Row> rows;
  Failure failure = selectEach(sql, bindings, [&rows](const char* id, std::span<const uint8_t> payload) {
    rows.emplace_back(id, std::vector<uint8_t>(payload.begin(), payload.end()));
  });
  if (failure) return Outcome::failed(*failure);
  return {std::move(rows), std::nullopt};
}

ActivityStoreOutcome<ActivityStore::RowCounts> ActivityStore::rowCounts() {
  using Outcome = ActivityStoreOutcome<RowCounts>;
  RowCounts counts;
  for (auto [sql, count] : {std::pair{"SELECT COUNT(*) FROM intervals", &counts.intervals},
                            std::pair{"SELECT COUNT(*) FROM summaries", &counts.summaries}}) {
    auto prepared = prepare(sql, {});
    if (!prepared.ok()) return Outcome::failed(*prepared.error);
    // A step that fails counts as no rows rather than as an error.
    *count = sqlite3_step(prepared.value.get()) == SQLITE_ROW ? sqlite3_column_int64(prepared.value.get(), 0) : 0;
  }
  return {counts, std::nullopt};
}

ActivityStoreOutcome<ActivityStore::RowCounts> ActivityStore::counts() { return rowCounts(); }

ActivityStore::Failure ActivityStore::inWriteTransaction(const Body& body) {
  if (auto failure = exec("BEGIN IMMEDIATE")) return failure;
  Failure failure = body();
  if (!failure) failure = exec("COMMIT");
  if (failure) (void)exec("ROLLBACK");  // its own error would hide the one that matters
  return failure;
}

// ---- meta rows ----

ActivityStoreOutcome<std::optional<std::vector<uint8_t>>> ActivityStore::metaBlob(const char* key) {
  using Outcome = ActivityStoreOutcome<std::optional<std::vector<uint8_t>>>;
  auto rows = select("SELECT k, v FROM meta WHERE k = ?", {Binding::ofText(key)});
  if (!rows.ok()) return Outcome::failed(*rows.error);
  if (rows.value.empty()) return {std::nullopt, std::nullopt};
  return {std::move(rows.value.front().second), std::nullopt};
}

std::optional<std::string> ActivityStore::readOwner(const ActivityCipher& cipher) {
  auto stored = metaBlob("owner");
  if (!stored.ok() || !stored.value) return std::nullopt;
  auto opened = cipher.open(*stored.value, kOwnerLabel);
  if (!opened.ok()) return std::nullopt;
  std::string owner(opened.value.begin(), opened.value.end());
  if (!isOwnerHash(owner)) return std::nullopt;  // also rules out text that is not UTF-8
  return owner;
}

ActivityStoreOutcome<const ActivityCipher*> ActivityStore::requireReady() const {
  if (db_ && state_ == ActivityStoreState::ready && cipher_) return {&*cipher_, std::nullopt};
  return ActivityStoreOutcome<const ActivityCipher*>::failed(ActivityStoreError::notReady(state_));
}

// ---- opening ----

namespace {

// A symbolic link or another user's file where the record keeps its own would have
// the record write into (and chmod) a file that is not its own. Absent is fine.
std::optional<ActivityStoreError> refuseForeign(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return std::nullopt;
    return ActivityStoreError::fileSystem(errno, "cannot inspect " + path + ": " + std::strerror(errno));
  }
  if (S_ISLNK(info.st_mode)) {
    return ActivityStoreError::fileSystem(ELOOP, path + " is a symbolic link; the record leaves it alone");
  }
  if (info.st_uid != ::geteuid()) {
    return ActivityStoreError::fileSystem(EPERM, path + " belongs to another user; the record leaves it alone");
  }
  return std::nullopt;
}

}  // namespace

ActivityStore::Failure ActivityStore::makeDirectory() const {
  std::filesystem::path made;
  for (const auto& part : std::filesystem::path(directory_)) {
    made /= part;
    if (made.empty() || made == made.root_path()) continue;
    // mkdir's mode can only lose bits to the umask, so a wide umask still gives 0700.
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
      return ActivityStoreError::fileSystem(errno, "cannot make " + made.string() + ": " + std::strerror(errno));
    }
  }
  struct stat info {};
  if (::stat(directory_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return ActivityStoreError::fileSystem(ENOTDIR, "not a directory: " + directory_);
  }
  return std::nullopt;
}

ActivityStore::Failure ActivityStore::refuseForeignFiles() const {
  if (auto failure = refuseForeign(directory_)) return failure;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    if (auto failure = refuseForeign(databasePath_ + suffix)) return failure;
  }
  return std::nullopt;
}

std::string ActivityStore::resolvedDatabasePath() const {
  // SQLite's no-follow refuses a link anywhere in the path, and folders above the
  // record's own (a home or data folder kept on another disk) may well be links; the
  // record's own directory was checked not to be one, and is left for SQLite to refuse
  // should it have become one since.
  namespace fs = std::filesystem;
  fs::path own = fs::path(directory_).lexically_normal();
  if (own.filename().empty()) own = own.parent_path();
  std::error_code error;
  const auto above = fs::canonical(own.has_parent_path() ? own.parent_path() : fs::path("."), error);
  return error ? databasePath_ : (above / own.filename() / kFileName).string();
}

void ActivityStore::restrictDatabaseMode() const {
  const int fd = ::open(databasePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) (void)::fchmod(fd, 0600);
  ::close(fd);
}

ActivityStoreOutcome<ActivityStoreState> ActivityStore::open(OpenMode mode, const std::optional<std::string>& owner) {
  using Outcome = ActivityStoreOutcome<ActivityStoreState>;
  close();
  const bool create = mode == OpenMode::createIfMissing;
  if (auto failure = refuseForeignFiles()) return Outcome::failed(*failure);
  std::error_code ignored;
  if (!std::filesystem::exists(std::filesystem::symlink_status(databasePath_, ignored))) {
    if (!create) {
      state_ = ActivityStoreState::absent;
      return {state_, std::nullopt};
    }
    if (auto failure = makeDirectory()) return Outcome::failed(*failure);
    if (auto failure = refuseForeignFiles()) return Outcome::failed(*failure);
    // Made here with its final mode, so the file is never readable by others, not
    // even for the moment before the chmod below; never through a link planted since.
    const int fd = ::open(databasePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
  }
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW |
                    (create ? SQLITE_OPEN_CREATE : 0);
  const int opened = sqlite3_open_v2(resolvedDatabasePath().c_str(), &raw, flags, nullptr);
  if (opened != SQLITE_OK || !raw) {
    std::string message = raw ? lastMessage(raw, "open failed") : "open failed";
    sqlite3_close(raw);
    return Outcome::failed(ActivityStoreError::sqlite(SQLITE_CANTOPEN, std::move(message)));
  }
  db_.reset(raw);
  restrictDatabaseMode();

  for (const char* sql : {"PRAGMA secure_delete = ON", "PRAGMA journal_mode = DELETE",
                          "CREATE TABLE IF NOT EXISTS meta (k TEXT PRIMARY KEY, v BLOB NOT NULL)",
                          "CREATE TABLE IF NOT EXISTS intervals (id TEXT PRIMARY KEY, payload BLOB NOT NULL)",
                          "CREATE TABLE IF NOT EXISTS summaries (id TEXT PRIMARY KEY, payload BLOB NOT NULL)"}) {
    if (auto failure = exec(sql)) return Outcome::failed(*failure);
  }

  auto keyId = metaBlob("key_id");
  if (!keyId.ok()) return Outcome::failed(*keyId.error);
  if (!keyId.value || !text::isValidUtf8(std::string_view(reinterpret_cast<const char*>(keyId.value->data()), keyId.value->size()))) {
    auto counts = rowCounts();
    if (!counts.ok()) return Outcome::failed(*counts.error);
    if (counts.value.intervals + counts.value.summaries > 0) {
      state_ = ActivityStoreState::keyMissing;
    } else if (create) {
      if (auto failure = initializeKey(owner)) return Outcome::failed(*failure);
    } else {
      state_ = ActivityStoreState::absent;
    }
    return {state_, std::nullopt};
  }
  return checkKey(std::string(keyId.value->begin(), keyId.value->end()));
}

ActivityStoreOutcome<ActivityStoreState> ActivityStore::checkKey(const std::string& keyId) {
  using Outcome = ActivityStoreOutcome<ActivityStoreState>;
  keyId_ = keyId;
  auto loaded = keyStore_->load(keyId);
  if (!loaded.ok()) {
    state_ = ActivityStoreState::keyLocked;
    return {state_, std::nullopt};
  }
  if (!loaded.value) {
    state_ = ActivityStoreState::keyMissing;
    return {state_, std::nullopt};
  }
  ActivityCipher cipher(std::move(*loaded.value));

  auto check = metaBlob("key_check");
  if (!check.ok()) return Outcome::failed(*check.error);
  auto opened = check.value ? cipher.open(*check.value, kKeyCheckLabel) : ActivityCipher::Outcome{};
  if (!check.value || !opened.ok() || opened.value != keyCheckPlaintext()) {
    state_ = ActivityStoreState::keyMissing;
    return {state_, std::nullopt};
  }
  boundOwner_ = readOwner(cipher);
  cipher_ = std::move(cipher);
  state_ = ActivityStoreState::ready;
  sweepStaleKeys();
  return {state_, std::nullopt};
}

void ActivityStore::close() {
  db_.reset();
  cipher_.reset();
  keyId_.reset();
  boundOwner_.reset();
}

// ---- keys ----

ActivityStoreOutcome<ActivityStore::NewKey> ActivityStore::makeKey() {
  SecretBytes keyData = ActivityCipher::generateKeyData();
  if (keyData.size() != ActivityCipher::kKeySize) {
    return {NewKey{{}, ActivityCipher(SecretBytes{})}, ActivityStoreError::sealFailed()};
  }
  NewKey key{newKeyId(), ActivityCipher(keyData)};
  auto saved = keyStore_->save(key.id, keyData);
  if (!saved.ok()) return {std::move(key), ActivityStoreError::keyStore(*saved.error)};
  return {std::move(key), std::nullopt};
}

void ActivityStore::forgetKey(const std::string& id) { (void)keyStore_->remove(id); }

void ActivityStore::sweepStaleKeys() {
  auto ids = keyStore_->allIds();
  if (!ids.ok()) return;
  for (const std::string& id : ids.value) {
    if (id != keyId_) (void)keyStore_->remove(id);
  }
}

ActivityStore::Failure ActivityStore::writeKeyRows(const NewKey& key, const std::optional<std::string>& owner) {
  auto check = key.cipher.seal(keyCheckPlaintext(), kKeyCheckLabel);
  if (!check.ok()) return ActivityStoreError::sealFailed();
  if (auto failure = run(kPutMeta, {Binding::ofText("key_id"), Binding::ofBlob(bytesOf(key.id))})) return failure;
  if (auto failure = run(kPutMeta, {Binding::ofText("key_check"), Binding::ofBlob(std::move(check.value))})) {
    return failure;
  }
  if (!owner) return run(kDeleteMeta, {Binding::ofText("owner")});
  auto sealedOwner = key.cipher.seal(bytesOf(*owner), kOwnerLabel);
  if (!sealedOwner.ok()) return ActivityStoreError::sealFailed();
  return run(kPutMeta, {Binding::ofText("owner"), Binding::ofBlob(std::move(sealedOwner.value))});
}

ActivityStore::Failure ActivityStore::initializeKey(const std::optional<std::string>& owner) {
  if (owner && !isOwnerHash(*owner)) return ActivityStoreError::invalidOwner();
  auto key = makeKey();
  if (!key.ok()) return key.error;
  Failure failure = inWriteTransaction([&]() -> Failure {
    if (auto f = run(kPutMeta, {Binding::ofText("schema"), Binding::ofBlob(bytesOf(kSchemaVersion))})) return f;
    return writeKeyRows(key.value, owner);
  });
  if (failure) {
    forgetKey(key.value.id);
    return failure;
  }
  keyId_ = key.value.id;
  cipher_ = std::move(key.value.cipher);
  state_ = ActivityStoreState::ready;
  boundOwner_ = owner;
  sweepStaleKeys();
  return std::nullopt;
}

}  // namespace tovarin
