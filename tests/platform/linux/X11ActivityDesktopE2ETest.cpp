#include "platform/linux/X11ActivityDesktop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>

#include "base/ChildProcess.h"
#include "main/activity/ActivityCapture.h"
#include "main/server/ShellOutput.h"
#include "platform/linux/UnavailableBrowserAutomation.h"
#include "platform/linux/X11WindowTitleReader.h"
#include "platform/linux/XcbConnection.h"
#include "tests/support/ActivityEventText.h"
#include "tests/support/ManualLoop.h"

extern char** environ;

namespace tovarin {
namespace {

// When its last client leaves, Xvfb resets and refuses connections for a moment: one
// connection kept open for the rest of the program spares the tests that follow.
void keepServerAlive() {
  static XcbConnection connection("");
  ASSERT_TRUE(connection.ok());
}

// A window of a process of its own, and its X id once it is on the screen.
struct TestWindow {
  std::shared_ptr<ChildProcess> process;
  std::uint32_t id = 0;

  explicit TestWindow(std::vector<std::string> arguments) {
    ChildProcessOptions options;
    options.executable = TOVARIN_BINARY_DIR "/tests/tovarin_x_test_window";
    options.arguments = std::move(arguments);
    for (char** entry = environ; *entry; ++entry) options.environment.emplace_back(*entry);
    options.inheritStdin = false;
    options.endsWithProgram = true;
    process = ChildProcess::launch(options).process;
    if (!process) return;
    ManualLoop loop;
    loop.waitFor(
        [&] {
          const std::string found =
              shellOutput("/usr/bin/xdotool", {"search", "--onlyvisible", "--pid", std::to_string(process->pid())});
          id = static_cast<std::uint32_t>(std::strtoul(found.c_str(), nullptr, 10));
          return id != 0;
        },
        20);
  }
  ~TestWindow() { close(); }
  void close() {
    if (!process) return;
    process->signal(SIGTERM);
    process->wait();
    process.reset();
  }
};

TEST(X11WindowTitleReaderTest, ReadsUtf8AndLatin1TitlesAndSurvivesWindowsThatAreGone) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (run under xvfb-run)";
  keepServerAlive();
  TestWindow modern({"--title", "计划 — plan.md"});
  TestWindow legacy({"--legacy-title", "Café crème"});
  ASSERT_NE(modern.id, 0u);
  ASSERT_NE(legacy.id, 0u);
  X11WindowTitleReader reader("");
  EXPECT_EQ(reader.title(modern.id), "计划 — plan.md");
  EXPECT_EQ(reader.title(legacy.id), "Café crème");
  EXPECT_EQ(reader.title(0), std::nullopt);

  const std::uint32_t gone = modern.id;
  modern.close();
  ManualLoop loop;
  EXPECT_TRUE(loop.waitFor([&] { return !reader.title(gone).has_value(); }));
  EXPECT_EQ(reader.title(legacy.id), "Café crème") << "the failed request left the connection usable";
}

TEST(X11ActivityDesktopTest, UnderWaylandNothingIsReadAndCaptureSuspendsForNoAccess) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (run under xvfb-run)";
  keepServerAlive();
  ManualLoop loop;
  auto workspace = std::make_shared<ActivityNotificationCenter>(loop);
  auto desktop = std::make_shared<X11ActivityDesktop>("", DesktopEntryIndex({}, ""), workspace, "wayland");
  EXPECT_FALSE(desktop->accessibilityTrusted());
  EXPECT_EQ(desktop->frontmostApplication(), std::nullopt);
  EXPECT_TRUE(std::isnan(desktop->secondsSinceLastInput()));
  EXPECT_EQ(desktop->focusedWindowTitle(RunningApplication{1, "a", "a", 1}), std::nullopt);

  std::vector<std::string> events;
  auto capture = ActivityCapture::create(
      loop, {workspace, std::make_shared<ActivityNotificationCenter>(loop), desktop,
             std::make_shared<UnavailableBrowserAutomation>()},
      {[](const std::string&) { return true; }, nullptr, 300},
      [&](const ActivityEvent& e) { events.push_back(activityEventText(e, 0)); }, [] { return 0.0; });
  capture->start();
  loop.advance(6);
  EXPECT_EQ(events, (std::vector<std::string>{"resume(idle)@0ms", "resume(locked)@0ms", "resume(asleep)@0ms",
                                              "resume(noAccess)@0ms", "frontmost(none)@0ms", "suspend(noAccess)@0ms"}));
}

TEST(X11ActivityDesktopTest, UnderX11AccessIsGrantedAndIdleTimeIsKnown) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (run under xvfb-run)";
  keepServerAlive();
  ManualLoop loop;
  X11ActivityDesktop desktop("", DesktopEntryIndex({}, ""), std::make_shared<ActivityNotificationCenter>(loop), "x11");
  EXPECT_TRUE(desktop.accessibilityTrusted());
  const double idle = desktop.secondsSinceLastInput();
  EXPECT_TRUE(std::isfinite(idle));
  EXPECT_GE(idle, 0.0);
}

}  // namespace
}  // namespace tovarin
