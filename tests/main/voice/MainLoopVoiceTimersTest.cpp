#include "main/voice/MainLoopVoiceTimers.h"

#include <gtest/gtest.h>

#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

TEST(MainLoopVoiceTimersTest, FiresOnceAtItsTimeUnlessInvalidatedOrDropped) {
  ManualLoop loop;
  MainLoopVoiceTimers timers(loop);
  int fired = 0, invalidated = 0, dropped = 0;
  auto timer = timers.schedule(4.0, [&] { ++fired; });
  auto stopped = timers.schedule(1.0, [&] { ++invalidated; });
  timers.schedule(1.0, [&] { ++dropped; }).reset();
  stopped->invalidate();

  loop.advance(3.999);
  EXPECT_EQ(fired, 0);
  loop.advance(0.001);
  EXPECT_EQ(fired, 1);
  loop.advance(10.0);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(invalidated, 0);
  EXPECT_EQ(dropped, 0);
  timer->invalidate();  // after firing: harmless
}

}  // namespace
}  // namespace tovarin
