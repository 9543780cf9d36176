// Opening the encrypted store on real SQLite files: its states, the key check, the
// first key and its rollback, the sweep of stale keys and the owner binding.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "base/Text.h"
#include "tests/main/activity/ActivityStoreFixture.h"
#include "tests/support/FileContents.h"

namespace tovarin {
namespace {

using OpenMode = ActivityStore::OpenMode;
using State = ActivityStoreState;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

class ActivityStoreTest : public ActivityStoreTestBase {};

TEST_F(ActivityStoreTest, OpeningWithoutCreatingFindsNothingAndMakesNothing) {
  auto opened = store_->open(OpenMode::existingOnly);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value, State::absent);
  EXPECT_FALSE(std::filesystem::exists(home_.path() + "/data"));
  EXPECT_TRUE(keys_->keys.ids().empty());
  EXPECT_EQ(store_->counts().error, ActivityStoreError::notReady(State::absent));
}

TEST_F(ActivityStoreTest, CreatingMakesAPrivateFileWithAFirstKeyBoundToTheOwner) {
  const mode_t before = ::umask(0);  // the widest umask must not widen the modes
  auto opened = store_->open(OpenMode::createIfMissing, kOwner);
  ::umask(before);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value, State::ready);
  EXPECT_EQ(store_->state(), State::ready);
  EXPECT_EQ(store_->boundOwner(), kOwner);
  EXPECT_EQ(modeOf(directory()), 0700u);
  EXPECT_EQ(modeOf(databasePath()), 0600u);
  EXPECT_EQ(rowIds("meta"), (std::vector<std::string>{"key_check", "key_id", "owner", "schema"}));

  const std::string keyId = storedKeyId();
  EXPECT_EQ(keyId.size(), 38u);
  EXPECT_EQ(keyId.rfind("k_", 0), 0u);
  EXPECT_EQ(keyId, text::lowercased(keyId)) << "key ids are lower case";
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{keyId});
  EXPECT_EQ(keys_->keys.keys().at(keyId).size(), 32u);
  SideConnection side(databasePath());
  EXPECT_EQ(side.column("SELECT CAST(v AS TEXT) FROM meta WHERE k = 'schema'"), std::vector<std::string>{"1"});

  // The owner comes back from the file, not from the caller, on every later open.
  store_->close();
  EXPECT_EQ(store_->boundOwner(), std::nullopt);
  auto again = store_->open(OpenMode::createIfMissing, kOtherOwner);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.value, State::ready);
  EXPECT_EQ(store_->boundOwner(), kOwner);
  EXPECT_EQ(storedKeyId(), keyId);
}

TEST_F(ActivityStoreTest, CreatingWithoutAnOwnerBindsNobody) {
  ASSERT_TRUE(store_->open(OpenMode::createIfMissing).ok());
  EXPECT_EQ(store_->state(), State::ready);
  EXPECT_EQ(store_->boundOwner(), std::nullopt);
  EXPECT_EQ(rowIds("meta"), (std::vector<std::string>{"key_check", "key_id", "schema"}));
}

TEST_F(ActivityStoreTest, AnOwnerThatIsNoAccountHashMakesNoKey) {
  for (const std::string& owner : {std::string(64, 'A'), std::string(63, 'a'), std::string(65, 'a'),
                                   std::string(63, 'a') + "g", std::string()}) {
    SCOPED_TRACE(owner);
    auto opened = store_->open(OpenMode::createIfMissing, owner);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error, ActivityStoreError::invalidOwner());
    EXPECT_EQ(store_->state(), State::absent);
    EXPECT_TRUE(keys_->keys.ids().empty());
    EXPECT_TRUE(std::filesystem::exists(databasePath()));
    EXPECT_TRUE(rowIds("meta").empty());
    EXPECT_EQ(rowIds("intervals"), std::vector<std::string>{});  // the tables exist
  }
}

// Each case damages a record made by a first open, then reopens it.
struct StateCase {
  const char* name;
  std::function<void(SideConnection&, FlakyKeyStore&, const std::string& keyId)> damage;
  OpenMode mode;
  State expected;
};

TEST_F(ActivityStoreTest, OpenReportsTheStateTheFileAndTheKeysAreIn) {
  const std::vector<StateCase> cases = {
      {"an intact record", [](auto&, auto&, auto&) {}, OpenMode::existingOnly, State::ready},
      {"rows without a key id",
       [](SideConnection& side, auto&, auto&) { side.exec("DELETE FROM meta WHERE k = 'key_id'"); },
       OpenMode::createIfMissing, State::keyMissing},
      {"a key id that is not UTF-8",
       [](SideConnection& side, auto&, auto&) { side.put("meta", "key_id", {'k', '_', 0xC3, 0x28}); },
       OpenMode::existingOnly, State::keyMissing},
      {"no key for the id", [](auto&, FlakyKeyStore& keys, auto&) { keys.keys.removeAll(); },
       OpenMode::createIfMissing, State::keyMissing},
      {"other key bytes of the same length",
       [](auto&, FlakyKeyStore& keys, const std::string& id) { keys.keys.put(id, ActivityCipher::generateKeyData()); },
       OpenMode::existingOnly, State::keyMissing},
      {"no key check",
       [](SideConnection& side, auto&, auto&) { side.exec("DELETE FROM meta WHERE k = 'key_check'"); },
       OpenMode::existingOnly, State::keyMissing},
      {"a key check sealed for another label",
       [](SideConnection& side, auto&, auto&) {
         side.put("meta", "key_check", side.blob("SELECT v FROM meta WHERE k = 'owner'"));
       },
       OpenMode::existingOnly, State::keyMissing},
      {"a locked key store",
       [](auto&, FlakyKeyStore& keys, auto&) {
         keys.keys.loadError = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
       },
       OpenMode::existingOnly, State::keyLocked},
      {"a failing key store",
       [](auto&, FlakyKeyStore& keys, auto&) { keys.keys.loadError = ActivityKeyError::failure(-1); },
       OpenMode::createIfMissing, State::keyLocked},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    auto keys = std::make_shared<FlakyKeyStore>();
    const std::string dir = home.path() + "/Activity";
    {
      ActivityStore first(dir, keys);
      ASSERT_TRUE(first.open(OpenMode::createIfMissing, kOwner).ok());
      ASSERT_TRUE(first.append({interval("i1", 100, 160), interval("i2", 200, 260)}).ok());
    }
    SideConnection side(dir + "/activity.sqlite");
    const std::string keyId = side.column("SELECT CAST(v AS TEXT) FROM meta WHERE k = 'key_id'").front();
    c.damage(side, *keys, keyId);
    const auto keysBefore = keys->keys.ids();

    ActivityStore store(dir, keys);
    auto opened = store.open(c.mode, kOwner);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value, c.expected);
    EXPECT_EQ(store.state(), c.expected);
    EXPECT_EQ(side.column("SELECT id FROM intervals ORDER BY id"), (std::vector<std::string>{"i1", "i2"}));
    EXPECT_EQ(store.counts().value, (ActivityStore::RowCounts{2, 0})) << "counts need a connection only";
    EXPECT_EQ(keys->keys.ids(), keysBefore) << "nothing is deleted";
    if (c.expected != State::ready) {
      EXPECT_EQ(store.allIntervals().error, ActivityStoreError::notReady(c.expected));
      EXPECT_EQ(store.boundOwner(), std::nullopt);
    }
  }
}

TEST_F(ActivityStoreTest, AFileWithNeitherKeyNorRowsIsAbsentUnlessCreating) {
  std::filesystem::create_directories(directory());
  std::ofstream(databasePath()).close();  // an empty file is an empty database
  auto opened = store_->open(OpenMode::existingOnly, kOwner);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value, State::absent);
  EXPECT_TRUE(keys_->keys.ids().empty());
  opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value, State::ready);
  EXPECT_EQ(keys_->keys.ids().size(), 1u);
}

TEST_F(ActivityStoreTest, AnOwnerRowThatDoesNotOpenToAnAccountHashBindsNobody) {
  openReady();
  ActivityCipher cipher(keys_->keys.keys().at(storedKeyId()));
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> owners = {
      {"garbage", {1, 2, 3}},
      {"sealed under another label", cipher.seal({kOwner.begin(), kOwner.end()}, "meta:key_check").value},
      {"not an account hash", cipher.seal({'a', 'b'}, "meta:owner").value},
      {"upper case", cipher.seal(std::vector<uint8_t>(64, 'A'), "meta:owner").value},
  };
  for (const auto& [name, bytes] : owners) {
    SCOPED_TRACE(name);
    { SideConnection(databasePath()).put("meta", "owner", bytes); }
    auto opened = store_->open(OpenMode::existingOnly);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value, State::ready);
    EXPECT_EQ(store_->boundOwner(), std::nullopt);
  }
}

TEST_F(ActivityStoreTest, ASuccessfulOpenSweepsEveryOtherKey) {
  openReady();
  const std::string keyId = storedKeyId();
  keys_->keys.put("k_old", SecretBytes{1});
  keys_->keys.put("k_zzz", SecretBytes{2});

  // A failing listing or deletion leaves the stale keys but does not fail the open.
  keys_->listError = ActivityKeyError::failure(-1);
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  keys_->listError.reset();
  keys_->removeError = ActivityKeyError::accessDenied(-25293);
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  EXPECT_EQ(keys_->keys.ids().size(), 3u);
  keys_->removeError.reset();

  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready);
  EXPECT_EQ(keys_->keys.ids(), std::vector<std::string>{keyId});
}

TEST_F(ActivityStoreTest, AKeyThatFailsTheCheckSweepsNothing) {
  openReady();
  keys_->keys.put(storedKeyId(), ActivityCipher::generateKeyData());
  keys_->keys.put("k_other", SecretBytes{1});
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::keyMissing);
  EXPECT_EQ(keys_->keys.ids().size(), 2u);
}

TEST_F(ActivityStoreTest, FilesSQLiteCannotOpenAreErrorsThatLeaveTheStateAlone) {
  std::filesystem::create_directories(directory());
  {
    std::ofstream garbage(databasePath());
    garbage << std::string(4096, 'x');
  }
  auto opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error->kind, ActivityStoreError::Kind::sqlite);
  EXPECT_EQ(opened.error->code, SQLITE_NOTADB);
  EXPECT_EQ(opened.error->message, "file is not a database");
  EXPECT_EQ(store_->state(), State::absent);
  EXPECT_TRUE(keys_->keys.ids().empty());

  std::filesystem::remove(databasePath());
  std::filesystem::create_directory(databasePath());  // a directory in the file's place
  opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error->kind, ActivityStoreError::Kind::sqlite);
  EXPECT_EQ(opened.error->code, SQLITE_CANTOPEN);
  EXPECT_EQ(store_->state(), State::absent);
}

TEST_F(ActivityStoreTest, ADirectoryThatCannotBeMadeIsAFileSystemError) {
  std::filesystem::create_directories(home_.path() + "/data");
  std::ofstream(directory()).close();  // a file where the directory belongs
  auto opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error->kind, ActivityStoreError::Kind::fileSystem);
  EXPECT_EQ(store_->state(), State::absent);
}

// Every file under `folder` (links not followed) with a digest of its bytes and its mode.
std::map<std::string, std::pair<size_t, mode_t>> snapshotOf(const std::string& folder) {
  std::map<std::string, std::pair<size_t, mode_t>> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string bytes = readFile(entry.path());
    files[entry.path().string()] = {std::hash<std::string>{}(bytes), modeOf(entry.path())};
  }
  return files;
}

// A link planted in the record's place, or another user's file there, is refused before
// anything is opened, made or chmodded, and destroying leaves it alone too.
TEST_F(ActivityStoreTest, LinksAndOtherUsersFilesInTheRecordsPlaceAreRefusedUntouched) {
  struct Case {
    const char* name;
    std::function<void(const std::string& directory, const std::string& elsewhere)> plant;
  };
  const std::vector<Case> cases = {
      {"database linked to another program's database",
       [](const std::string& directory, const std::string& elsewhere) {
         std::filesystem::create_directories(directory);
         std::filesystem::create_symlink(elsewhere + "/other.sqlite", directory + "/activity.sqlite");
       }},
      {"database linked to a plain file",
       [](const std::string& directory, const std::string& elsewhere) {
         std::filesystem::create_directories(directory);
         std::filesystem::create_symlink(elsewhere + "/plain.txt", directory + "/activity.sqlite");
       }},
      {"database linked to a file not there yet",
       [](const std::string& directory, const std::string& elsewhere) {
         std::filesystem::create_directories(directory);
         std::filesystem::create_symlink(elsewhere + "/new.sqlite", directory + "/activity.sqlite");
       }},
      {"directory linked to another directory",
       [](const std::string& directory, const std::string& elsewhere) {
         std::filesystem::create_directories(std::filesystem::path(directory).parent_path());
         std::filesystem::create_symlink(elsewhere, directory);
       }},
      {"journal linked to a plain file",
       [](const std::string& directory, const std::string& elsewhere) {
         ActivityStore earlier(directory, std::make_shared<MemoryKeyStore>());
         ASSERT_TRUE(earlier.open(OpenMode::createIfMissing, kOwner).ok());
         earlier.close();
         std::filesystem::create_symlink(elsewhere + "/plain.txt", directory + "/activity.sqlite-journal");
       }},
  };
  for (const auto& c : cases) {
    TempDir home;
    const std::string directory = home.path() + "/data/Activity";
    const std::string elsewhere = home.path() + "/elsewhere";
    std::filesystem::create_directories(elsewhere);
    makeOtherDatabase(elsewhere + "/other.sqlite");
    std::ofstream(elsewhere + "/plain.txt") << "plain";
    ::chmod((elsewhere + "/plain.txt").c_str(), 0644);
    c.plant(directory, elsewhere);
    const auto before = snapshotOf(elsewhere);
    auto keys = std::make_shared<MemoryKeyStore>();
    ActivityStore store(directory, keys);

    auto opened = store.open(OpenMode::createIfMissing, kOwner);
    EXPECT_FALSE(opened.ok()) << c.name;
    if (opened.error) {
      EXPECT_EQ(opened.error->kind, ActivityStoreError::Kind::fileSystem) << c.name;
      EXPECT_NE(opened.error->message.find("symbolic link"), std::string::npos) << c.name;
    }
    EXPECT_EQ(store.state(), State::absent) << c.name;
    EXPECT_TRUE(keys->ids().empty()) << c.name;
    EXPECT_FALSE(store.destroy().ok()) << c.name;
    EXPECT_EQ(snapshotOf(elsewhere), before) << c.name;
  }
}

// Folders above the record's own may be links (a home kept on another disk): only the
// record's directory and files are refused as links.
TEST_F(ActivityStoreTest, LinksAboveTheRecordsDirectoryAreFollowed) {
  std::filesystem::create_directories(home_.path() + "/elsewhere");
  std::filesystem::create_symlink(home_.path() + "/elsewhere", home_.path() + "/data");
  openReady();
  EXPECT_TRUE(store_->append({interval("a", 10, 20)}).ok());
  EXPECT_TRUE(std::filesystem::is_regular_file(home_.path() + "/elsewhere/Activity/activity.sqlite"));
  store_->close();
  auto reopened = store_->open(OpenMode::existingOnly);
  ASSERT_TRUE(reopened.ok());
  EXPECT_EQ(reopened.value, State::ready);
  EXPECT_TRUE(store_->destroy().ok());
  EXPECT_FALSE(std::filesystem::exists(home_.path() + "/elsewhere/Activity/activity.sqlite"));
}

TEST_F(ActivityStoreTest, AnotherUsersDatabaseIsRefusedUntouched) {
  std::filesystem::create_directories(directory());
  makeOtherDatabase(databasePath());
  if (::chown(databasePath().c_str(), 65534, 65534) != 0) GTEST_SKIP() << "only root can give a file away";
  const size_t before = snapshotOf(directory()).at(databasePath()).first;
  auto opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error->kind, ActivityStoreError::Kind::fileSystem);
  EXPECT_NE(opened.error->message.find("another user"), std::string::npos);
  EXPECT_EQ(modeOf(databasePath()), 0644u);
  EXPECT_EQ(snapshotOf(directory()).at(databasePath()).first, before);
  EXPECT_TRUE(keys_->keys.ids().empty());
}

TEST_F(ActivityStoreTest, AWriteLockHeldElsewhereFailsTheWriteAtOnceAndChangesNothing) {
  openReady();
  SideConnection other(databasePath());
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
  ASSERT_EQ(store_->open(OpenMode::existingOnly).value, State::ready) << "reading needs no write lock";
  auto appended = store_->append({interval("i1", 100, 160)});
  ASSERT_FALSE(appended.ok());
  EXPECT_EQ(appended.error->kind, ActivityStoreError::Kind::sqlite);
  EXPECT_EQ(appended.error->code, SQLITE_BUSY);
  ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{0, 0}));
  EXPECT_TRUE(store_->append({interval("i1", 100, 160)}).ok());
  EXPECT_EQ(store_->counts().value, (ActivityStore::RowCounts{1, 0}));
}

TEST_F(ActivityStoreTest, AFirstKeyWhoseWriteFailsIsRolledBackAndDeleted) {
  for (const char* statement : {"BEGIN IMMEDIATE", "INSERT OR REPLACE INTO meta", "COMMIT"}) {
    SCOPED_TRACE(statement);
    failStatement(statement);
    auto opened = store_->open(OpenMode::createIfMissing, kOwner);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error, ActivityStoreError::sqlite(SQLITE_IOERR, "injected failure"));
    EXPECT_EQ(store_->state(), State::absent);
    EXPECT_TRUE(keys_->keys.ids().empty()) << "the new key is deleted again";
    EXPECT_TRUE(rowIds("meta").empty()) << "the meta rows are rolled back";
    EXPECT_EQ(store_->allIntervals().error, ActivityStoreError::notReady(State::absent));
    EXPECT_TRUE(store_->counts().ok()) << "the connection stays open";
  }
  store_->failStatementsForTesting(nullptr);
  ASSERT_EQ(store_->open(OpenMode::createIfMissing, kOwner).value, State::ready);
  EXPECT_EQ(keys_->keys.ids().size(), 1u);
}

TEST_F(ActivityStoreTest, AKeyStoreThatRefusesTheFirstKeyWritesNothing) {
  keys_->saveError = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
  auto opened = store_->open(OpenMode::createIfMissing, kOwner);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error,
            ActivityStoreError::keyStore(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed)));
  EXPECT_TRUE(rowIds("meta").empty());
  EXPECT_EQ(store_->state(), State::absent);
}

TEST_F(ActivityStoreTest, CloseForgetsTheConnectionButNotTheState) {
  openReady();
  store_->close();
  EXPECT_EQ(store_->state(), State::ready);
  EXPECT_EQ(store_->counts().error, ActivityStoreError::notReady(State::ready));
  EXPECT_EQ(store_->append({interval("i1", 1, 2)}).error, ActivityStoreError::notReady(State::ready));
}

TEST_F(ActivityStoreTest, AFailingStepReportsItsResultAndSQLitesMessage) {
  openReady();
  {
    SideConnection side(databasePath());
    ASSERT_EQ(side.exec("CREATE TRIGGER refuse BEFORE INSERT ON intervals BEGIN SELECT RAISE(ABORT, 'no more rows'); END"),
              SQLITE_OK);
  }
  auto appended = store_->append({interval("i1", 100, 160)});
  EXPECT_EQ(appended.error, ActivityStoreError::sqlite(SQLITE_CONSTRAINT, "no more rows"));
}

}  // namespace
}  // namespace tovarin
