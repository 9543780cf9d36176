#include "main/activity/ActivityPeer.h"

#include <unistd.h>

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(ActivityPeerTest, TheParentIdIsReadAfterTheLastParenthesis) {
  struct Case {
    std::string stat;
    std::optional<pid_t> parent;
  };
  const std::vector<Case> cases = {
      {"4242 (node) S 100 4242 4242 0 -1 4194304", 100},
      {"4242 (evil) S 1 2 (x) R 777 1 1 0", 777},  // a command name that imitates the fields
      {"4242 (a b) c) Z 9 1", 9},
      {"4242 () R 0 0", 0},
      {"4242 (node) S 100", 100},
      {"4242 (node)", std::nullopt},
      {"4242 (node) S", std::nullopt},
      {"4242 (node) S x100 1", std::nullopt},
      {"4242 (node) S 100x 1", std::nullopt},
      {"4242 node S 100 1", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ActivityPeer::parentPIDFromStat(c.stat), c.parent) << c.stat;
}

TEST(ActivityPeerTest, ThisProcessIsNotItsOwnChildAndItsParentIsKnown) {
  EXPECT_EQ(ActivityPeer::parentPID(::getpid()), ::getppid());
  EXPECT_FALSE(ActivityPeer::isChildOfCurrentProcess(::getpid()));
  EXPECT_FALSE(ActivityPeer::isChildOfCurrentProcess(::getppid()));
  EXPECT_FALSE(ActivityPeer::isChildOfCurrentProcess(0));
  EXPECT_FALSE(ActivityPeer::isChildOfCurrentProcess(-1));
  EXPECT_EQ(ActivityPeer::parentPID(0), std::nullopt);
}

}  // namespace
}  // namespace tovarin
