#include "base/UserRuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

TEST(UserRuntimeDirectoryTest, OnlyAPrivateRuntimeDirectoryOfThisUserIsUsed) {
  TempDir dir;
  const std::string open = dir.path() + "/open";
  const std::string closed = dir.path() + "/closed";
  ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(closed.c_str(), 0700), 0);

  const std::string fallback = UserRuntimeDirectory::path(ProcessEnvironment({}));
  ASSERT_FALSE(fallback.empty());
  EXPECT_TRUE(UserRuntimeDirectory::isPrivate(fallback));
  EXPECT_EQ(UserRuntimeDirectory::path(ProcessEnvironment({})), fallback);  // made once

  struct Case {
    std::string name;
    std::vector<std::string> environment;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"private", {"XDG_RUNTIME_DIR=" + closed}, closed},
      {"trailing slashes dropped", {"XDG_RUNTIME_DIR=" + closed + "//"}, closed},
      {"others may enter", {"XDG_RUNTIME_DIR=" + open}, fallback},
      {"missing", {"XDG_RUNTIME_DIR=" + dir.path() + "/gone"}, fallback},
      {"relative", {"XDG_RUNTIME_DIR=closed"}, fallback},
      {"empty", {"XDG_RUNTIME_DIR="}, fallback},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UserRuntimeDirectory::path(ProcessEnvironment(c.environment)), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace tovarin
