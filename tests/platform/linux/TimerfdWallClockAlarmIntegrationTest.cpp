#include "platform/linux/TimerfdWallClockAlarm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include <glib.h>

namespace tovarin {
namespace {

// Runs the default main context until the condition holds or the real time is up.
bool iterateUntil(const std::function<bool()>& condition, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition() && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, FALSE);
  return condition();
}

// The alarm may also fire early when the wall clock is set (a time service can do
// that at any moment), so the test behaves as an owner does: it looks again and
// re-arms until the time has come.
TEST(TimerfdWallClockAlarmIntegrationTest, FiresOnceAtItsWallClockTime) {
  TimerfdWallClockAlarm alarm;
  const double at = alarm.now() + 0.3;
  int due = 0;
  double dueAt = 0;
  std::function<void()> lookAgain = [&] {
    if (alarm.now() < at) return alarm.arm(at, lookAgain);
    ++due;
    dueAt = alarm.now();
  };
  alarm.arm(at, lookAgain);
  ASSERT_TRUE(iterateUntil([&] { return due > 0; }, 5));
  EXPECT_GE(dueAt, at);
  iterateUntil([] { return false; }, 0.3);
  EXPECT_EQ(due, 1);
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
