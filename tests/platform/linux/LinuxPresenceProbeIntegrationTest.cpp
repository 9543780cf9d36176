#include "platform/linux/LinuxPresenceProbe.h"

#include <gtest/gtest.h>

#include "main/presence/PresenceSchedule.h"

namespace tovarin {
namespace {

TEST(LinuxPresenceProbeTest, WithNoDisplayAndNoLogindTheUserIsNotClaimedPresent) {
  LinuxPresenceProbe probe(":4917", "unix:path=/nonexistent/tovarin-test/bus");
  EXPECT_EQ(probe.idleSeconds(), std::nullopt);
  EXPECT_EQ(probe.screenLocked(), std::nullopt);
  const PresenceFacts facts = probe.facts(std::nullopt, std::nullopt);
  EXPECT_FALSE(facts.screenLocked);
  EXPECT_EQ(PresenceSchedule::skipReason(facts, 0), PresenceSkip::idle);
}

}  // namespace
}  // namespace tovarin
