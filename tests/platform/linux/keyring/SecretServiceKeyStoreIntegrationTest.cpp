// The key store against a real Secret Service: gnome-keyring on a bus of the test's own,
// with a login keyring made for the test and unlocked by its password. Never the user's.

#include "platform/linux/SecretServiceKeyStore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>

#include "base/ChildProcess.h"
#include "main/activity/ActivityStore.h"
#include "tests/support/Eventually.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

class SecretServiceKeyStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    for (const char* dir : {"/data", "/run", "/home"}) std::filesystem::create_directories(home_.path() + dir);
    std::filesystem::permissions(home_.path() + "/run", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    // Ready once a key can be saved: the daemon makes the login keyring a moment after
    // it takes its name.
    ASSERT_TRUE(keyring_.start(bus_.address(), environment(), 20)) << keyring_.error();
    auto probe = store("/records/probe");
    eventually([&] { return probe.save("k_probe", SecretBytes{1}).ok(); }, 20);
    ASSERT_EQ(probe.allIds().value, std::vector<std::string>{"k_probe"}) << "the keyring daemon did not come up";
  }
  std::vector<std::string> environment() const {
    return {"PATH=/usr/bin:/bin", "HOME=" + home_.path() + "/home", "XDG_DATA_HOME=" + home_.path() + "/data",
            "XDG_RUNTIME_DIR=" + home_.path() + "/run", "DBUS_SESSION_BUS_ADDRESS=" + bus_.address()};
  }
  SecretServiceKeyStore store(const std::string& record = "/records/main") {
    return SecretServiceKeyStore(record, bus_.address());
  }
  // Locks the login keyring through the service itself, as the desktop's lock does.
  int lockTheKeyring() {
    ChildProcessOptions options{"/usr/bin/gdbus",
                                {"call", "--session", "--dest", "org.freedesktop.secrets", "--object-path",
                                 "/org/freedesktop/secrets", "--method", "org.freedesktop.Secret.Service.Lock",
                                 "['/org/freedesktop/secrets/collection/login']"},
                                "",
                                environment(),
                                false,
                                false};
    auto launch = ChildProcess::launch(options);
    if (!launch.process) return -1;
    const int status = launch.process->wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  PrivateDbus bus_;
  TempDir home_;
  PrivateKeyring keyring_;
};

// One daemon per test program, and this the only test in it, so the whole contract
// runs on one daemon in a program of its own.
TEST_F(SecretServiceKeyStoreTest, TheKeyStoreContractOnARealSecretService) {
  auto keys = store();
  auto missing = keys.load("k_absent");
  ASSERT_TRUE(missing.ok());
  EXPECT_FALSE(missing.value);
  EXPECT_TRUE(keys.remove("k_absent").ok());
  EXPECT_TRUE(keys.allIds().value.empty());

  const SecretBytes first{0, 1, 2, 255, 0, 7};  // binary, with NUL bytes
  for (const char* id : {"k_b", "k_a"}) ASSERT_TRUE(keys.save(id, first).ok()) << id;
  auto loaded = keys.load("k_b");
  ASSERT_TRUE(loaded.ok() && loaded.value);
  EXPECT_EQ(*loaded.value, first);
  EXPECT_EQ(keys.allIds().value, (std::vector<std::string>{"k_a", "k_b"}));

  // A key is never replaced: a second save under its id fails and leaves it as it was.
  auto again = keys.save("k_b", SecretBytes{9, 9});
  EXPECT_EQ(again.error, ActivityKeyError::failure(ActivityKeyError::kDuplicateItem));
  EXPECT_EQ(*keys.load("k_b").value, first);

  ASSERT_TRUE(keys.remove("k_b").ok());
  EXPECT_FALSE(keys.load("k_b").value);
  EXPECT_EQ(keys.allIds().value, std::vector<std::string>{"k_a"});

  // Two records of one user never see, or sweep, each other's keys.
  auto one = store("/records/one");
  auto two = store("/records/two");
  ASSERT_TRUE(one.save("k_1", SecretBytes{1}).ok());
  ASSERT_TRUE(two.save("k_2", SecretBytes{2}).ok());
  ASSERT_TRUE(two.save("k_1", SecretBytes{3}).ok()) << "the same id in another record is another key";
  EXPECT_EQ(one.allIds().value, std::vector<std::string>{"k_1"});
  EXPECT_EQ(two.allIds().value, (std::vector<std::string>{"k_1", "k_2"}));
  EXPECT_EQ(*one.load("k_1").value, (SecretBytes{1}));
  ASSERT_TRUE(two.remove("k_1").ok());
  EXPECT_EQ(*one.load("k_1").value, (SecretBytes{1}));

  // The encrypted store on this service: two records side by side never sweep each
  // other's keys, and a clear moves a record to a new key in the keyring.
  const std::string owner(64, 'c');
  auto keysA = std::make_shared<SecretServiceKeyStore>(home_.path() + "/a/Activity", bus_.address());
  auto keysB = std::make_shared<SecretServiceKeyStore>(home_.path() + "/b/Activity", bus_.address());
  ActivityStore recordA(home_.path() + "/a/Activity", keysA);
  ActivityStore recordB(home_.path() + "/b/Activity", keysB);
  ASSERT_EQ(recordA.open(ActivityStore::OpenMode::createIfMissing, owner).value, ActivityStoreState::ready);
  ASSERT_EQ(recordB.open(ActivityStore::OpenMode::createIfMissing, owner).value, ActivityStoreState::ready);
  ActivityInterval worked{"i1", "org.example.Editor", "Editor", "Notes", std::nullopt, 1000, 1060};
  ASSERT_TRUE(recordA.append({worked}).ok());
  const auto keyOfB = keysB->allIds().value;
  ASSERT_EQ(keyOfB.size(), 1u);
  ASSERT_EQ(recordA.open(ActivityStore::OpenMode::existingOnly).value, ActivityStoreState::ready);
  EXPECT_EQ(keysB->allIds().value, keyOfB);
  const auto keyOfA = keysA->allIds().value;
  ASSERT_TRUE(recordA.clear(ClearRange::lastHour, 100000).ok());
  ASSERT_EQ(keysA->allIds().value.size(), 1u);
  EXPECT_NE(keysA->allIds().value, keyOfA);
  EXPECT_EQ(recordA.allIntervals().value, std::vector<ActivityInterval>{worked});
  EXPECT_EQ(keysB->allIds().value, keyOfB);

  // A locked keyring is access denied for every operation, and stays locked.
  ASSERT_EQ(lockTheKeyring(), 0);
  const auto denied = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
  EXPECT_EQ(keys.load("k_a").error, denied);
  EXPECT_EQ(keys.save("k_c", SecretBytes{3}).error, denied);
  EXPECT_EQ(keys.remove("k_a").error, denied);
  EXPECT_EQ(keys.allIds().error, denied);

  // The store then says its key is locked; starting over wipes the record but cannot
  // make a new key, and says both.
  ASSERT_EQ(recordA.open(ActivityStore::OpenMode::existingOnly).value, ActivityStoreState::keyLocked);
  auto reset = recordA.resetAfterKeyLoss(owner);
  EXPECT_EQ(reset.error, ActivityStoreError::keyStore(denied));
  EXPECT_TRUE(reset.recordsWiped);
  EXPECT_EQ(recordA.counts().value, (ActivityStore::RowCounts{0, 0}));
  EXPECT_EQ(recordA.state(), ActivityStoreState::keyLocked);
}

}  // namespace
}  // namespace tovarin
