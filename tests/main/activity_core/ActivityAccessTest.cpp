#include "main/activity_core/ActivityAccess.h"

#include <gtest/gtest.h>

#include "main/activity_core/ActivityOwnership.h"

namespace tovarin {
namespace {

ActivitySettings settings(bool enabled, bool paused) {
  ActivitySettings value;
  value.enabled = enabled;
  value.paused = paused;
  return value;
}

TEST(ActivityAccessTest, DenialRefusesBeforeItReportsAPause) {
  using D = std::optional<ActivityDenial>;
  struct Case {
    ActivitySettings settings;
    bool trusted;
    ActivityStoreState store;
    bool ownerMatches;
    D expected;
  } cases[] = {
      {settings(true, false), true, ActivityStoreState::ready, true, D()},
      {settings(false, false), true, ActivityStoreState::ready, true, ActivityDenial::notGranted},
      {settings(true, true), true, ActivityStoreState::ready, false, ActivityDenial::notGranted},
      {settings(false, true), true, ActivityStoreState::ready, true, ActivityDenial::notGranted},
      {settings(true, true), false, ActivityStoreState::keyLocked, true, ActivityDenial::paused},
      {settings(true, false), false, ActivityStoreState::ready, true, ActivityDenial::notGranted},
      {settings(true, false), true, ActivityStoreState::absent, true, ActivityDenial::notGranted},
      {settings(true, false), true, ActivityStoreState::keyMissing, true, ActivityDenial::notGranted},
      {settings(true, false), true, ActivityStoreState::keyLocked, true, ActivityDenial::notGranted},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ActivityAccess::denial(c.settings, c.trusted, c.store, c.ownerMatches), c.expected)
        << c.settings.enabled << c.settings.paused << c.trusted << static_cast<int>(c.store) << c.ownerMatches;
  }
}

TEST(ActivityAccessTest, DenialsHaveTheBridgeWords) {
  struct Case {
    ActivityDenial denial;
    const char* raw;
  } cases[] = {{ActivityDenial::notGranted, "not_granted"},
               {ActivityDenial::platform, "platform"},
               {ActivityDenial::timeout, "timeout"},
               {ActivityDenial::paused, "paused"}};
  for (const auto& c : cases) {
    EXPECT_EQ(rawValue(c.denial), c.raw);
    EXPECT_EQ(activityDenialFromRaw(c.raw), c.denial);
  }
  EXPECT_EQ(activityDenialFromRaw("notGranted"), std::nullopt);
}

TEST(ActivityOwnershipTest, ResolveTakesTheFirstRuleThatApplies) {
  using S = std::optional<std::string>;
  struct Case {
    S bound;
    S current;
    bool known;
    ActivityOwnership expected;
  } cases[] = {
      {S(), S(), true, ActivityOwnership::unbound},
      {S(), S("a"), false, ActivityOwnership::unbound},
      {S("a"), S("a"), false, ActivityOwnership::unknown},
      {S("a"), S(), false, ActivityOwnership::unknown},
      {S("a"), S(), true, ActivityOwnership::signedOut},
      {S("a"), S("a"), true, ActivityOwnership::matched},
      {S("a"), S("b"), true, ActivityOwnership::otherAccount},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resolveOwnership(c.bound, c.current, c.known), c.expected)
        << c.bound.value_or("-") << c.current.value_or("-") << c.known;
  }
}

TEST(ActivityOwnershipTest, OwnerHashIsSixtyFourLowerCaseHexDigits) {
  std::string good(64, 'a');
  good.replace(0, 10, "0123456789");
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {good, true},
      {std::string(63, 'a'), false},
      {std::string(65, 'a'), false},
      {std::string(63, 'a') + "A", false},
      {std::string(63, 'a') + "g", false},
      {std::string(63, 'a') + " ", false},
      {std::string(62, 'a') + "\xc3\xa9", false},  // 64 bytes, not hex
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isOwnerHash(c.text), c.valid) << c.text;
}

}  // namespace
}  // namespace tovarin
