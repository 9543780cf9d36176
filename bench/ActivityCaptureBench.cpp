// What the activity capture costs on a real X11 desktop, against the same process
// doing nothing. Three phases of equal length, each measured as this process's CPU
// time (all threads) and its wake-ups (context switches of all its threads):
//   1. floor: the GLib main loop with nothing to do;
//   2. idle session: the capture running, no window changes;
//   3. switching: the capture running while a separate driver process activates one of
//      two windows (of two other processes) every second.
// The windows and the driver are other processes: their CPU time is not counted.
//
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- build/default/bench/ActivityCaptureBench [--seconds N]
// (start a window manager first, e.g. openbox, so that windows can be activated)

#include <glib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/ChildProcess.h"
#include "bench/BenchSupport.h"
#include "main/activity/ActivityCapture.h"
#include "main/server/ShellOutput.h"
#include "platform/glib/GlibMainLoop.h"
#include "platform/linux/LinuxActivityPlatform.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace tovarin;
using namespace tovarin::bench;

namespace {

struct Usage {
  double cpuSeconds = 0;
  long wakeups = 0;
};

Usage usageNow() {
  Usage usage;
  usage.cpuSeconds = cpuSeconds(RUSAGE_SELF);
  // Threads that ended are not listed; the capture's threads live through each phase.
  for (const auto& [thread, switches] : contextSwitches("self")) usage.wakeups += static_cast<long>(switches);
  return usage;
}

void runLoopFor(double seconds) {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_timeout_add(
      static_cast<guint>(seconds * 1000),
      [](gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
}

std::shared_ptr<ChildProcess> launch(const std::string& executable, std::vector<std::string> arguments) {
  ChildProcessOptions options;
  options.executable = executable;
  options.arguments = std::move(arguments);
  for (char** entry = environ; *entry; ++entry) options.environment.emplace_back(*entry);
  options.inheritStdin = false;
  options.endsWithProgram = true;
  auto launched = ChildProcess::launch(options);
  if (!launched.process) std::fprintf(stderr, "cannot start %s: %s\n", executable.c_str(), launched.error.c_str());
  return launched.process;
}

std::string windowOf(const std::shared_ptr<ChildProcess>& process) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string id = shellOutput("/usr/bin/xdotool", {"search", "--onlyvisible", "--pid", std::to_string(process->pid())});
    if (!id.empty()) return id.substr(0, id.find('\n'));
    usleep(100 * 1000);
  }
  return {};
}

void report(const char* phase, const Usage& before, const Usage& after, double seconds, const Usage& floor) {
  const double cpu = after.cpuSeconds - before.cpuSeconds;
  const long wakeups = after.wakeups - before.wakeups;
  std::printf("%-14s cpu %8.1f ms  %7.4f %% of one core  wake-ups %6ld (%5.1f/s)", phase, cpu * 1000,
              cpu / seconds * 100, wakeups, static_cast<double>(wakeups) / seconds);
  if (floor.cpuSeconds >= 0) {
    std::printf("  over floor: %+.4f %% of one core", (cpu - floor.cpuSeconds) / seconds * 100);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
  }
  const fs::path helper = fs::canonical("/proc/self/exe").parent_path().parent_path() / "tests/tovarin_x_test_window";
  auto first = launch(helper, {"--title", "First window", "--gtk-id", "org.example.First"});
  auto second = launch(helper, {"--title", "Second window", "--class", "second", "Second"});
  if (!first || !second) return 1;
  const std::string firstWindow = windowOf(first);
  const std::string secondWindow = windowOf(second);
  if (firstWindow.empty() || secondWindow.empty()) {
    std::fprintf(stderr, "the windows did not appear (is a window manager running?)\n");
    return 1;
  }

  GlibMainLoop loop;
  Usage start = usageNow();
  runLoopFor(seconds);
  Usage end = usageNow();
  Usage floor{end.cpuSeconds - start.cpuSeconds, end.wakeups - start.wakeups};
  report("floor", start, end, seconds, Usage{-1, 0});

  LinuxActivityPlatform platform(loop, {});
  long events = 0;
  auto capture = ActivityCapture::create(loop, platform.capturePlatform(),
                                         {[](const std::string&) { return true; }, nullptr, 300},
                                         [&](const ActivityEvent&) { ++events; });
  capture->start();
  start = usageNow();
  runLoopFor(seconds);
  end = usageNow();
  report("idle session", start, end, seconds, floor);

  auto driver = launch("/bin/sh", {"-c", "while :; do xdotool windowactivate " + firstWindow +
                                             "; sleep 1; xdotool windowactivate " + secondWindow + "; sleep 1; done"});
  const long eventsBefore = events;
  start = usageNow();
  runLoopFor(seconds);
  end = usageNow();
  report("switching", start, end, seconds, floor);
  std::printf("events while switching: %ld\n", events - eventsBefore);

  capture->stop();
  for (auto& process : {driver, first, second}) {
    if (process) process->signal(SIGTERM);
  }
  return 0;
}
