#include "platform/linux/TimerfdWallClockAlarm.h"

#include <gtest/gtest.h>

#include <chrono>

#include <glib.h>

namespace tovarin {
namespace {

// Runs the default main context until the condition holds or the real time is up.
bool iterateUntil(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition() && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, FALSE);
  return condition();
}

TEST(TimerfdWallClockAlarmIntegrationTest, FiresOnceAtItsWallClockTime) {
  TimerfdWallClockAlarm alarm;
  int fired = 0;
  double firedAt = 0;
  const double at = alarm.now() + 0.3;
  alarm.arm(at, [&] {
    ++fired;
    firedAt = alarm.now();
  });
  ASSERT_TRUE(iterateUntil([&] { return fired > 0; }, 5));
  EXPECT_GE(firedAt, at);
  iterateUntil([] { return false; }, 0.3);
  EXPECT_EQ(fired, 1);
}

TEST(TimerfdWallClockAlarmIntegrationTest, APastTimeFiresAtOnceAndDisarmingStopsIt) {
  TimerfdWallClockAlarm alarm;
  int past = 0;
  alarm.arm(alarm.now() - 3600, [&] { ++past; });
  EXPECT_TRUE(iterateUntil([&] { return past == 1; }, 2));

  int disarmed = 0;
  alarm.arm(alarm.now() + 0.1, [&] { ++disarmed; });
  alarm.disarm();
  iterateUntil([] { return false; }, 0.4);
  EXPECT_EQ(disarmed, 0);

  // Arming again replaces the earlier arming.
  int first = 0, second = 0;
  alarm.arm(alarm.now() + 0.1, [&] { ++first; });
  alarm.arm(alarm.now() + 0.2, [&] { ++second; });
  EXPECT_TRUE(iterateUntil([&] { return second == 1; }, 3));
  EXPECT_EQ(first, 0);
}

}  // namespace
}  // namespace tovarin
