#include "main/activity_core/SuspendReason.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(SuspendReasonTest, RawValuesAreTheCaseNames) {
  const char* names[] = {"idle", "locked", "asleep", "paused", "noAccess", "disabled", "account"};
  for (std::size_t i = 0; i < allSuspendReasons.size(); ++i) {
    EXPECT_EQ(rawValue(allSuspendReasons[i]), names[i]);
    EXPECT_EQ(suspendReasonFromRaw(names[i]), allSuspendReasons[i]);
  }
  EXPECT_EQ(suspendReasonFromRaw("noaccess"), std::nullopt);
}

}  // namespace
}  // namespace tovarin
