#include "platform/linux/XScreenSaverIdle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "base/ChildProcess.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

// Moves the pointer through the X test extension, as a user would, with a real
// xdotool child.
bool movePointer(int x, int y) {
  ChildProcessOptions options;
  options.executable = "/usr/bin/xdotool";
  options.arguments = {"mousemove", std::to_string(x), std::to_string(y)};
  for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
    if (const char* value = std::getenv(name)) options.environment.push_back(std::string(name) + "=" + value);
  }
  options.inheritStdin = false;
  auto launch = ChildProcess::launch(options);
  if (!launch.process) return false;
  const int status = launch.process->wait();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(XScreenSaverIdleTest, IdleTimeGrowsWithoutInputAndRestartsWithIt) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (run under xvfb-run)";
  XScreenSaverIdle idle;
  auto first = idle.idleSeconds();
  ASSERT_TRUE(first.has_value());
  EXPECT_GE(*first, 0.0);
  EXPECT_TRUE(std::isfinite(*first));

  ManualLoop loop;
  ASSERT_TRUE(movePointer(10, 10));
  // Real time must pass for the X server's idle counter to grow.
  double before = 0;
  ASSERT_TRUE(loop.waitFor(
      [&] {
        before = idle.idleSeconds().value_or(0);
        return before >= 0.5;
      },
      20));
  ASSERT_TRUE(movePointer(200, 150));
  auto after = idle.idleSeconds();
  ASSERT_TRUE(after.has_value());
  EXPECT_LT(*after, before);
  EXPECT_LT(*after, 0.5);
}

}  // namespace
}  // namespace tovarin
