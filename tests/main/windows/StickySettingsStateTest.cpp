#include "main/windows/StickySettingsState.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace tovarin {
namespace {

using Intent = StickySettingsState::Intent;
using Values = StickySettingsState::Values;

TEST(StickySettingsStateTest, ASeriesOfChangesKeepsTheFirstFallbackAndOnlyTheNewestIsCurrent) {
  StickySettingsState state;
  const Intent first = state.begin("stickyLevel", "topmost", "floating");
  const Intent second = state.begin("stickyLevel", "desktop", "topmost");
  const Intent other = state.begin("stickySpaceScope", "all", "current");

  EXPECT_EQ(first, (Intent{"stickyLevel", "topmost", "floating", 1, false}));
  EXPECT_EQ(second, (Intent{"stickyLevel", "desktop", "floating", 2, false})) << "the first change's fallback is kept";
  EXPECT_EQ(other.fallback, "current") << "fallbacks are kept per key";
  EXPECT_EQ(state.generation(), 3u);
  EXPECT_EQ(state.pending().size(), 2u);

  EXPECT_FALSE(state.isCurrent(first));
  EXPECT_FALSE(state.needsDispatch(first));
  EXPECT_FALSE(state.didDispatch(first));
  EXPECT_TRUE(state.needsDispatch(second));
  EXPECT_TRUE(state.didDispatch(second));
  EXPECT_TRUE(state.isCurrent(second));
  EXPECT_FALSE(state.needsDispatch(second)) << "a dispatched change is not sent again";
  EXPECT_TRUE(state.pending().at("stickyLevel").dispatched);
}

TEST(StickySettingsStateTest, FailureRollsBackToTheServerValueElseTheFallbackAndMovesTheGeneration) {
  struct Row {
    const char* what;
    std::optional<std::string> serverLevel;  // read before the changes
    std::string expected;
  };
  const Row rows[] = {
      {"no server value read yet: the value before the first change", std::nullopt, "floating"},
      {"a server value was read: that value", "normal", "normal"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    StickySettingsState state;
    if (row.serverLevel) {
      const auto read = state.beginRead();
      EXPECT_EQ(state.receive({{"stickyLevel", *row.serverLevel}}, read), (Values{{"stickyLevel", *row.serverLevel}}));
    }
    const Intent first = state.begin("stickyLevel", "topmost", "floating");
    const Intent second = state.begin("stickyLevel", "desktop", "topmost");
    const auto before = state.generation();
    EXPECT_EQ(state.fail(first), std::nullopt) << "a replaced change does not fail";
    EXPECT_EQ(state.generation(), before);
    EXPECT_EQ(state.fail(second), row.expected);
    EXPECT_EQ(state.generation(), before + 1);
    EXPECT_TRUE(state.pending().empty());
    EXPECT_EQ(state.fail(second), std::nullopt) << "fails once";
  }
}

TEST(StickySettingsStateTest, ReadsCountOnlyWhenNewerThanTheLastAcceptedAndNoChangeBeganMeanwhile) {
  struct Row {
    const char* what;
    std::function<Values(StickySettingsState&)> run;
    Values expected;
  };
  const Values server = {{"floatingWindow", "true"}, {"stickyLevel", "normal"}};
  const Row rows[] = {
      {"a fresh read passes all keys",
       [&](StickySettingsState& s) { return s.receive(server, s.beginRead()); }, server},
      {"a change began while the read was out",
       [&](StickySettingsState& s) {
         const auto read = s.beginRead();
         (void)s.begin("stickySpaceScope", "all", "current");
         return s.receive(server, read);
       },
       {}},
      {"a change failed while the read was out",
       [&](StickySettingsState& s) {
         const auto intent = s.begin("stickySpaceScope", "all", "current");
         const auto read = s.beginRead();
         (void)s.fail(intent);
         return s.receive(server, read);
       },
       {}},
      {"an older read answered after a newer one",
       [&](StickySettingsState& s) {
         const auto older = s.beginRead();
         const auto newer = s.beginRead();
         (void)s.receive({{"stickyLevel", "desktop"}}, newer);
         return s.receive(server, older);
       },
       {}},
      {"the same read answered twice",
       [&](StickySettingsState& s) {
         const auto read = s.beginRead();
         (void)s.receive(server, read);
         return s.receive(server, read);
       },
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    StickySettingsState state;
    EXPECT_EQ(row.run(state), row.expected);
  }
}

TEST(StickySettingsStateTest, PendingChangesFilterTheirKeyUntilTheServerShowsTheirValueAfterDispatch) {
  struct Row {
    const char* what;
    bool dispatched;
    std::string serverLevel;
    Values expected;
    bool stillPending;
  };
  const Row rows[] = {
      {"dispatched and equal: confirmed", true, "topmost", {{"stickyLevel", "topmost"}, {"stickySpaceScope", "all"}},
       false},
      {"dispatched but the server still has the old value", true, "floating", {{"stickySpaceScope", "all"}}, true},
      {"not dispatched, even with an equal value", false, "topmost", {{"stickySpaceScope", "all"}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    StickySettingsState state;
    const Intent intent = state.begin("stickyLevel", "topmost", "floating");
    if (row.dispatched) {
      ASSERT_TRUE(state.didDispatch(intent));
    }
    const auto read = state.beginRead();
    EXPECT_EQ(state.receive({{"stickyLevel", row.serverLevel}, {"stickySpaceScope", "all"}}, read), row.expected);
    EXPECT_EQ(state.isCurrent(intent), row.stillPending);
    EXPECT_EQ(state.lastAcceptedRead(), read.sequence);
    // Whatever passed, the server's value is what a failure now returns to.
    if (row.stillPending) {
      EXPECT_EQ(state.fail(intent), row.serverLevel);
    }
  }
}

TEST(StickySettingsStateTest, StartsFromTheGivenPendingChanges) {
  const Intent carried{"floatingWindow", "false", "true", 0, true};
  StickySettingsState state({{"floatingWindow", carried}});
  EXPECT_TRUE(state.isCurrent(carried));
  EXPECT_EQ(state.begin("floatingWindow", "true", "false").fallback, "true");
}

}  // namespace
}  // namespace tovarin
