// The staged program itself, launched from a test bundle under the test's display with
// its own session bus and home: it starts the stand-in server, loads both pages, takes
// a URL from a second start, answers its menu actions from the bus, and stops the
// server child when it is told to end.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <future>

#include "tests/main/app/StagedProgramFixture.h"
#include "tests/support/LocalPorts.h"

namespace tovarin {
namespace {

class AppProgramE2ETest : public StagedProgramFixture {};

TEST_F(AppProgramE2ETest, RunsTheServerLoadsBothPagesRoutesASecondStartAndStopsCleanly) {
  program_ = start({});
  ASSERT_TRUE(program_);

  // The program started the stand-in server as its child and both pages loaded.
  ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
  const auto process = get("/__test/process");
  ASSERT_TRUE(process);
  serverPid_ = static_cast<pid_t>(jsonInteger(*process, "pid").value_or(-1));
  EXPECT_GT(serverPid_, 0);
  EXPECT_TRUE(eventually([&] { return pageLoads("main") >= 1 && pageLoads("widget") >= 1; }, 60))
      << readFile(logFile());
  EXPECT_TRUE(logHas("[orvik] launch: projectRoot="));
  EXPECT_TRUE(logHas(" port=" + std::to_string(port())));
  EXPECT_EQ(visibleWindows(), 1) << "the main window only";

  // A second start hands its URL to the first and ends.
  auto second = start({"the-tovarin://tasks"});
  ASSERT_TRUE(second);
  const int secondStatus = second->wait();
  EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0);
  EXPECT_TRUE(eventually([&] { return logHas("[orvik] open url host=tasks"); }, 20)) << readFile(logFile());
  EXPECT_TRUE(program_->isRunning());

  // The status menu's sticky item is an application action on the bus.
  EXPECT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "toggle-sticky"}), 0) << lastOutput();
  EXPECT_TRUE(eventually([&] { return visibleWindows() == 2; }, 20));

  // Save what a person would see, for a look after the run.
  const fs::path artifacts = fs::path(TOVARIN_BINARY_DIR) / "test-artifacts";
  fs::create_directories(artifacts);
  run("/usr/bin/import", {"-window", "root", (artifacts / "TheTovarin.png").string()});

  // SIGTERM ends the program through its termination steps: the child goes, the port frees.
  ASSERT_TRUE(program_->signal(SIGTERM));
  std::future<int> exited = std::async(std::launch::async, [&] { return program_->wait(); });
  ASSERT_EQ(exited.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  const int status = exited.get();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(eventually([&] { return !ProcessTable::contains(serverPid_); }, 10));
  EXPECT_TRUE(eventually([&] { return LocalPorts::isFree(port()); }, 10));
}

// A crash of the program once left its server holding the port for good; the next
// launch then took it for a compatible server and never stopped it.
TEST_F(AppProgramE2ETest, AKilledProgramTakesItsServerWithIt) {
  program_ = start({});
  ASSERT_TRUE(program_);
  ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
  serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
  ASSERT_GT(serverPid_, 0);

  ASSERT_TRUE(program_->signal(SIGKILL));
  (void)program_->wait();
  EXPECT_TRUE(eventually([&] { return !ProcessTable::contains(serverPid_); }, 10));
  EXPECT_TRUE(eventually([&] { return LocalPorts::isFree(port()); }, 10));
}

}  // namespace
}  // namespace tovarin
