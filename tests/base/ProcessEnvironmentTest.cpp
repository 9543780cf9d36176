#include "base/ProcessEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(ProcessEnvironmentTest, OverlayAppliesToTheCapturedEntries) {
  ProcessEnvironment environment({"HOME=/home/a", "PATH=/bin:/usr/bin", "EMPTY=", "EQ=a=b", "HOME=/second", "junk", "=x"});
  EXPECT_EQ(environment.get("HOME"), "/home/a");  // the first of two, as getenv sees it
  EXPECT_EQ(environment.get("EMPTY"), "");
  EXPECT_EQ(environment.get("EQ"), "a=b");
  EXPECT_EQ(environment.get("junk"), std::nullopt);

  EXPECT_TRUE(environment.set("VORN_ACTIVITY_SOCKET", "/run/x.sock"));
  EXPECT_TRUE(environment.set("PATH", "/opt/bin"));
  environment.unset("EMPTY");
  environment.unset("NEVER_SET");
  EXPECT_EQ(environment.snapshot(), (std::vector<std::string>{"EQ=a=b", "HOME=/home/a", "PATH=/opt/bin",
                                                              "VORN_ACTIVITY_SOCKET=/run/x.sock"}));
}

TEST(ProcessEnvironmentTest, RefusesNamesThatCannotBePassedOn) {
  ProcessEnvironment environment({});
  for (const std::string& name : {std::string(""), std::string("A=B"), std::string("A\0B", 3)}) {
    EXPECT_FALSE(environment.set(name, "v"));
  }
  EXPECT_TRUE(environment.snapshot().empty());
  EXPECT_TRUE(environment.set("CUT", std::string("ab\0cd", 5)));
  EXPECT_EQ(environment.get("CUT"), "ab");
}

TEST(ProcessEnvironmentTest, SharedOneStartsFromTheProcessEnvironment) {
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(ProcessEnvironment::shared().get("PATH"), std::string(path));
}

TEST(ProcessEnvironmentTest, HomeIsHomeElseThePasswordDatabasesEntry) {
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  const std::string fromDatabase = entry->pw_dir;
  EXPECT_EQ(ProcessEnvironment({"HOME=/srv/someone"}).homeDirectory(), "/srv/someone");
  EXPECT_EQ(ProcessEnvironment({"HOME="}).homeDirectory(), fromDatabase);
  EXPECT_EQ(ProcessEnvironment({"PATH=/bin"}).homeDirectory(), fromDatabase);
}

}  // namespace
}  // namespace tovarin
