// The staged program through one ordinary run — launch, both windows shown, quit from
// its menu — says nothing on standard error from GLib, GDK or GTK: such a warning is a
// handler, window or reference used at the wrong moment.

#include <gtest/gtest.h>

#include "tests/main/app/StagedProgramFixture.h"

namespace tovarin {
namespace {

// The lines of the toolkits' own complaints ("(TheTovarin:12): GLib-GObject-WARNING **: ...",
// "** (TheTovarin:12): CRITICAL **: ...").
std::vector<std::string> toolkitComplaints(const std::string& log) {
  std::vector<std::string> found;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("WARNING **") != std::string::npos || line.find("CRITICAL **") != std::string::npos) {
      found.push_back(line);
    }
  }
  return found;
}

class AppProgramQuietRunE2ETest : public StagedProgramFixture {};

TEST_F(AppProgramQuietRunE2ETest, ALaunchShowingBothWindowsAndQuittingPrintsNoToolkitWarning) {
  program_ = start({});
  ASSERT_TRUE(program_);
  ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
  serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
  ASSERT_TRUE(eventually([&] { return pageLoads("main") >= 1 && pageLoads("widget") >= 1; }, 60))
      << readFile(logFile());
  ASSERT_TRUE(eventually([&] { return visibleWindows() == 1; }, 20)) << "the main window";

  // The status menu's sticky item, then its quit item, as application actions on the bus.
  ASSERT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "toggle-sticky"}), 0) << lastOutput_;
  ASSERT_TRUE(eventually([&] { return visibleWindows() == 2; }, 20)) << "the sticky window as well";
  ASSERT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "quit"}), 0) << lastOutput_;
  ASSERT_TRUE(eventually([&] { return !program_->isRunning(); }, 30)) << "the program ended";
  const int status = program_->wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string log = readFile(logFile());
  EXPECT_TRUE(log.find("[orvik] launch: projectRoot=") != std::string::npos) << "the log is the program's: " << log;
  for (const std::string& line : toolkitComplaints(log)) ADD_FAILURE() << line;
}

}  // namespace
}  // namespace tovarin
