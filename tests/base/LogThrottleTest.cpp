#include "base/LogThrottle.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(LogThrottleTest, OneLineOfAKindPerSecond) {
  LogThrottle throttle;
  EXPECT_TRUE(throttle.allows("ocr", 10.0));
  EXPECT_FALSE(throttle.allows("ocr", 10.5));
  EXPECT_TRUE(throttle.allows("notify", 10.5)) << "kinds are counted apart";
  EXPECT_FALSE(throttle.allows("ocr", 10.999));
  EXPECT_TRUE(throttle.allows("ocr", 11.0));
}

TEST(LogThrottleTest, ManyKindsStayBoundedAndStillLog) {
  LogThrottle throttle;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(throttle.allows("kind" + std::to_string(i), 1.0));
}

}  // namespace
}  // namespace tovarin
