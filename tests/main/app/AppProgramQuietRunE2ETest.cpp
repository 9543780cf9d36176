// The staged program through one ordinary run — launch, both windows shown, quit from
// its menu — says nothing on standard error from GLib, GDK or GTK: such a warning is a
// handler, window or reference used at the wrong moment.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

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

class AppProgramQuietRunE2ETest : public StagedProgramFixture {
 protected:
  ~AppProgramQuietRunE2ETest() override {
    if (!tray_) return;
    tray_->signal(SIGTERM);
    (void)tray_->wait();
  }

  // An XEmbed tray (no StatusNotifierWatcher on the bus): the status item falls back to
  // a tray icon there. The tray's window grows past its placeholder width once an icon
  // is docked in it.
  void startTray() {
    ChildProcessOptions options;
    options.executable = "/usr/bin/trayer";
    options.arguments = {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28"};
    options.environment = environment();
    options.inheritStdin = false;
    options.endsWithProgram = true;
    auto launch = ChildProcess::launch(options);
    ASSERT_TRUE(launch.process) << launch.error;
    tray_ = launch.process;
    ASSERT_TRUE(eventually([&] { return trayWidth() > 0; }, 20)) << "the tray's window";
  }
  int trayWidth() {
    if (run("/usr/bin/xdotool", {"search", "--class", "trayer"}) != 0) return -1;
    std::istringstream ids(lastOutput());
    int widest = -1;
    for (std::string id; ids >> id;) {
      if (run("/usr/bin/xdotool", {"getwindowgeometry", "--shell", id}) != 0) continue;
      const auto at = lastOutput().find("WIDTH=");
      if (at != std::string::npos) widest = std::max(widest, std::atoi(lastOutput().c_str() + at + 6));
    }
    return widest;
  }

  // Launch, both windows shown (then `whileShown`), quit from the menu's actions; the
  // program's log after. `iconWindows` counts a tray icon docked as a window of the program.
  std::string launchShowBothWindowsAndQuit(int iconWindows = 0, const std::function<void()>& whileShown = [] {}) {
    program_ = start({});
    EXPECT_TRUE(program_);
    if (!program_) return {};
    EXPECT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
    if (auto process = get("/__test/process")) serverPid_ = static_cast<pid_t>(jsonInteger(*process, "pid").value_or(-1));
    EXPECT_TRUE(eventually([&] { return pageLoads("main") >= 1 && pageLoads("widget") >= 1; }, 60))
        << readFile(logFile());
    EXPECT_TRUE(eventually([&] { return visibleWindows() == 1 + iconWindows; }, 20)) << "the main window";

    // The status menu's sticky item, then its quit item, as application actions on the bus.
    EXPECT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "toggle-sticky"}), 0) << lastOutput();
    EXPECT_TRUE(eventually([&] { return visibleWindows() == 2 + iconWindows; }, 20)) << "the sticky window as well";
    whileShown();
    EXPECT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "quit"}), 0) << lastOutput();
    EXPECT_TRUE(eventually([&] { return !program_->isRunning(); }, 30)) << "the program ended";
    const int status = program_->wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string log = readFile(logFile());
    EXPECT_TRUE(log.find("[orvik] launch: projectRoot=") != std::string::npos) << "the log is the program's: " << log;
    return log;
  }

  std::shared_ptr<ChildProcess> tray_;
};

TEST_F(AppProgramQuietRunE2ETest, ALaunchShowingBothWindowsAndQuittingPrintsNoToolkitWarning) {
  for (const std::string& line : toolkitComplaints(launchShowBothWindowsAndQuit())) ADD_FAILURE() << line;
}

// The tray icon is made, shown with the program's mark and taken down again without a
// complaint from GDK (a realized icon renamed unbalances its freeze/thaw count).
TEST_F(AppProgramQuietRunE2ETest, UnderAnXembedTrayTheRunIsAsQuietAndTheIconIsDocked) {
  ASSERT_NO_FATAL_FAILURE(startTray());
  const int emptyWidth = trayWidth();
  const std::string log = launchShowBothWindowsAndQuit(1, [&] {
    EXPECT_TRUE(eventually([&] { return trayWidth() > emptyWidth; }, 20)) << "the status icon docked in the tray";
  });
  for (const std::string& line : toolkitComplaints(log)) ADD_FAILURE() << line;
}

}  // namespace
}  // namespace tovarin
