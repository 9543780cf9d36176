#include "base/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/FileContents.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

TEST(UserDefaultsTest, AbsentKeysReadAsZeroFalseAndNoString) {
  TempDir dir;
  UserDefaults defaults(dir.path() + "/defaults.json");
  EXPECT_EQ(defaults.integer("ORVIK.stickyLevel"), 0);
  EXPECT_EQ(defaults.number("ORVIK.stickyOpacity"), 0.0);
  EXPECT_FALSE(defaults.boolean("voice.on-device-only"));
  EXPECT_FALSE(defaults.string("ORVIK.mainFrame"));
}

TEST(UserDefaultsTest, ValuesSurviveANewInstance) {
  TempDir dir;
  const std::string path = dir.path() + "/nested/defaults.json";
  {
    UserDefaults defaults(path);
    defaults.setString("ORVIK.mainFrame", "{{10, 20}, {1180, 780}}");
    defaults.setInteger("ORVIK.stickyLevel", 2);
    defaults.setNumber("ORVIK.stickyOpacity", 0.85);
    defaults.setBoolean("voice.on-device-only", true);
  }
  UserDefaults reread(path);
  EXPECT_EQ(reread.string("ORVIK.mainFrame"), "{{10, 20}, {1180, 780}}");
  EXPECT_EQ(reread.integer("ORVIK.stickyLevel"), 2);
  EXPECT_DOUBLE_EQ(reread.number("ORVIK.stickyOpacity"), 0.85);
  EXPECT_TRUE(reread.boolean("voice.on-device-only"));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(UserDefaultsTest, AnUnreadableFileIsSetAsideNotOverwritten) {
  TempDir dir;
  const std::string path = dir.path() + "/defaults.json";
  std::ofstream(path) << "{ not json";
  UserDefaults defaults(path);
  EXPECT_EQ(defaults.integer("x"), 0);
  defaults.setInteger("x", 1);
  std::ifstream aside(path + ".unreadable");
  std::string text((std::istreambuf_iterator<char>(aside)), {});
  EXPECT_EQ(text, "{ not json");
  EXPECT_EQ(UserDefaults(path).integer("x"), 1);
}

TEST(UserDefaultsTest, EachUnreadableFileIsSetAsideBesideTheEarlierOnes) {
  TempDir dir;
  const std::string path = dir.path() + "/defaults.json";
  const std::vector<std::string> broken = {"{ not json", "[1, 2]", "{\"x\": }"};
  for (const auto& text : broken) {
    std::ofstream(path) << text;
    UserDefaults(path).setInteger("x", 1);
  }
  EXPECT_EQ(readFile(path + ".unreadable"), broken[0]);
  EXPECT_EQ(readFile(path + ".unreadable-2"), broken[1]);
  EXPECT_EQ(readFile(path + ".unreadable-3"), broken[2]);
  EXPECT_EQ(UserDefaults(path).integer("x"), 1);
}

// Links another program planted where the file is written or set aside are replaced
// or stepped around, never written through.
TEST(UserDefaultsTest, LinksPlantedBesideTheFileAreNotWrittenThrough) {
  TempDir dir;
  const std::string path = dir.path() + "/defaults.json";
  const std::string victim = dir.path() + "/victim";
  std::ofstream(victim) << "someone else's file";
  std::ofstream(path) << "{ not json";
  std::filesystem::create_symlink(victim, path + ".tmp");
  std::filesystem::create_symlink(victim, path + ".unreadable");
  UserDefaults defaults(path);
  defaults.setInteger("x", 1);
  EXPECT_EQ(readFile(victim), "someone else's file");
  EXPECT_TRUE(std::filesystem::is_symlink(path + ".tmp"));
  EXPECT_EQ(readFile(path + ".unreadable-2"), "{ not json");
  EXPECT_EQ(UserDefaults(path).integer("x"), 1);
}

// A valid object nested thousands of levels deep once overflowed the stack when it was
// copied at start-up or serialised at the next save, at every launch.
TEST(UserDefaultsTest, AFileNestedTooDeepIsSetAsideAndTheNextSaveWorks) {
  TempDir dir;
  const std::string path = dir.path() + "/defaults.json";
  std::string deep = "{\"ORVIK.stickyLevel\":2,\"x\":";
  for (int i = 0; i < 100000; ++i) deep += "[";
  for (int i = 0; i < 100000; ++i) deep += "]";
  deep += "}";
  std::ofstream(path) << deep;
  UserDefaults defaults(path);
  EXPECT_EQ(defaults.integer("ORVIK.stickyLevel"), 0);
  defaults.setInteger("ORVIK.stickyLevel", 1);
  EXPECT_EQ(UserDefaults(path).integer("ORVIK.stickyLevel"), 1);
  std::ifstream aside(path + ".unreadable");
  std::string text((std::istreambuf_iterator<char>(aside)), {});
  EXPECT_EQ(text, deep);
}

}  // namespace
}  // namespace tovarin
