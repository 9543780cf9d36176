// What keeping the activity record costs a program that sits idle. Two copies of the
// staged program run at the same time, each as the end-to-end tests start it (a bundle,
// home, session bus, unlocked keyring and stand-in server of its own), with the main and
// the sticky window open; one has the record on, the other off. Both are then left
// alone for the same stretch and measured over it.
//
//   xvfb-run -a dbus-run-session --config-file=tests/support/session-bus.conf --
//       build/default/bench/ActivityIdleBench [--seconds N]     (N defaults to 60)
//
// CPU: utime+stime from /proc/<pid>/stat, for the program's own process and, apart, for
// its web processes (every descendant but the node server, which the record does not
// touch; a descendant must live through the whole stretch to be counted). Wake-ups:
// voluntary+involuntary context switches summed over the threads of the program's own
// process (/proc/<pid>/task/*/status) that live through the whole stretch. The goal is that the record adds under 0.2 % of
// one core.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/ChildProcess.h"
#include "base/Json.h"
#include "bench/BenchSupport.h"
#include "tests/support/Eventually.h"
#include "tests/support/FileContents.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/PrivateKeyring.h"
#include "tests/support/PrivateWindowManager.h"
#include "tests/support/StagedProgram.h"

namespace fs = std::filesystem;
using namespace tovarin;

namespace {

// ---- /proc readings.

struct ProcStat {
  pid_t parent = -1;
  long long ticks = -1;  // utime + stime
};

// Fields after the parenthesised command name, which may itself hold spaces.
ProcStat procStat(pid_t pid) {
  ProcStat stat;
  const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return stat;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> values;
  for (std::string value; fields >> value;) values.push_back(value);
  // state(3) ppid(4) ... utime(14) stime(15), counted from 3 here.
  if (values.size() < 13) return stat;
  stat.parent = static_cast<pid_t>(std::atol(values[1].c_str()));
  stat.ticks = std::atoll(values[11].c_str()) + std::atoll(values[12].c_str());
  return stat;
}

std::string commandName(pid_t pid) {
  std::string name = readFile("/proc/" + std::to_string(pid) + "/comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// Every live descendant of a process with its CPU ticks, the node server left out.
std::map<pid_t, long long> descendantTicks(pid_t root) {
  std::map<pid_t, ProcStat> all;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::atol(name.c_str()));
    ProcStat stat = procStat(pid);
    if (stat.ticks >= 0) all[pid] = stat;
  }
  std::map<pid_t, long long> found;
  std::vector<pid_t> frontier{root};
  while (!frontier.empty()) {
    const pid_t parent = frontier.back();
    frontier.pop_back();
    for (const auto& [pid, stat] : all) {
      if (stat.parent != parent) continue;
      frontier.push_back(pid);
      if (commandName(pid) != "node") found[pid] = stat.ticks;
    }
  }
  return found;
}

struct Reading {
  long long ownTicks = 0;
  std::map<std::string, long long> switches;
  std::map<pid_t, long long> children;
};

// ---- One copy of the program.

class Instance {
 public:
  explicit Instance(bool recording) : recording_(recording) {}
  ~Instance() { stop(); }

  bool launch(std::string& error) {
    if (bus_.address().empty()) {
      error = "private bus: " + bus_.error();
      return false;
    }
    if (!keyring_.start(bus_.address(), staged_.environment())) {
      error = keyring_.error();
      return false;
    }
    writeSettings();
    if (!staged_.start()) {
      error = "program: " + staged_.error();
      return false;
    }
    if (!eventually([&] { return staged_.pageLoads("main") >= 1; }, 90)) {
      error = "the main page never loaded\n" + staged_.log();
      return false;
    }
    const std::string owner = R"({"owner":")" + std::string(64, 'e') + "\"}";
    if (staged_.request("POST", "/api/activity/owner", owner, 10).status != 200) {
      error = "the server could not report its account through the bridge";
      return false;
    }
    if (!visitSettings(error)) return false;
    if (staged_.run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "toggle-sticky"}) != 0 ||
        !eventually([&] { return visibleWindows() >= 2; }, 30)) {
      error = "the sticky window did not open";
      return false;
    }
    return true;
  }

  // Both copies open the settings window and close it again, as the person did; only
  // the copy that records flips the switch there (its first control).
  bool visitSettings(std::string& error) {
    const std::vector<std::string> before = windows();
    if (staged_.run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "activity-settings"}) != 0) {
      error = "no activity-settings action";
      return false;
    }
    std::string settings;
    const bool opened = eventually(
        [&] {
          for (const std::string& id : windows()) {
            if (std::find(before.begin(), before.end(), id) == before.end()) settings = id;
          }
          return !settings.empty();
        },
        20);
    if (!opened) {
      error = "the settings window did not open";
      return false;
    }
    staged_.run("/usr/bin/xdotool", {"windowactivate", "--sync", settings});
    if (recording_) {
      staged_.run("/usr/bin/xdotool", {"key", "Tab"});
      staged_.run("/usr/bin/xdotool", {"key", "space"});
      const fs::path defaults = root() / "config/TheTovarin/defaults.json";
      if (!eventually([&] { return readFile(defaults).find("\\\"enabled\\\":true") != std::string::npos; }, 20)) {
        error = "the switch did not turn the record on: " + readFile(defaults);
        return false;
      }
    }
    // The window manager's close, so the window goes as it does for a person.
    staged_.run("/usr/bin/xdotool", {"windowactivate", "--sync", settings});
    staged_.run("/usr/bin/xdotool", {"key", "alt+F4"});
    if (!eventually([&] { return windows().size() == before.size(); }, 20)) {
      error = "the settings window did not close (" + std::to_string(windows().size()) + " windows, " +
              std::to_string(before.size()) + " before)";
      return false;
    }
    return true;
  }

  std::vector<std::string> windows() {
    std::vector<std::string> ids;
    if (staged_.run("/usr/bin/xdotool", {"search", "--onlyvisible", "--pid", std::to_string(program().pid())}) != 0) {
      return ids;
    }
    std::istringstream lines(staged_.lastOutput());
    for (std::string line; std::getline(lines, line);) ids.push_back(line);
    return ids;
  }

  // The record keeps its store only once it is on: its file tells the two copies apart.
  bool storeExists() const {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(root(), ignored)) {
      if (entry.path().filename() == "activity.sqlite") return true;
    }
    return false;
  }

  Reading read() const {
    Reading reading;
    reading.ownTicks = procStat(program().pid()).ticks;
    reading.switches = bench::contextSwitches(std::to_string(program().pid()));
    reading.children = descendantTicks(program().pid());
    return reading;
  }

  int visibleWindows() { return static_cast<int>(windows().size()); }

  // The program is given its time to end; the keyring ends after it, with the object.
  void stop() {
    const auto& program = staged_.process();
    if (program && program->isRunning()) {
      program->signal(SIGTERM);
      std::future<int> ended = std::async(std::launch::async, [&] { return program->wait(); });
      if (ended.wait_for(std::chrono::seconds(30)) != std::future_status::ready) program->signal(SIGKILL);
      ended.wait();
    }
  }

  bool recording() const { return recording_; }

 private:
  fs::path root() const { return staged_.root(); }
  ChildProcess& program() const { return *staged_.process(); }

  // The person ticked an app earlier, with the record still off.
  void writeSettings() {
    fs::create_directories(root() / "config/TheTovarin");
    std::ofstream(root() / "config/TheTovarin/defaults.json")
        << R"({"TovarinActivity.settings":"{\"enabled\":false,\"included\":[\"org.example.Editor\"]}"})";
  }

  bool recording_;
  PrivateDbus bus_;
  PrivateKeyring keyring_;
  StagedProgram staged_{{.busAddress = bus_.address(), .environment = {"TOVARIN_TEST_INTROSPECT=1"}}};
};

struct Figures {
  double ownPercent = 0;      // of one core
  double childPercent = 0;    // of one core
  double wakeupsPerSecond = 0;
  size_t children = 0;
};

Figures compare(const Reading& before, const Reading& after, double seconds) {
  const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
  Figures figures;
  figures.ownPercent = 100.0 * static_cast<double>(after.ownTicks - before.ownTicks) / tick / seconds;
  long long childTicks = 0;
  for (const auto& [pid, ticks] : after.children) {
    auto earlier = before.children.find(pid);
    if (earlier == before.children.end()) continue;
    childTicks += ticks - earlier->second;
    ++figures.children;
  }
  figures.childPercent = 100.0 * static_cast<double>(childTicks) / tick / seconds;
  long long switches = 0;
  for (const auto& [thread, count] : after.switches) {
    auto earlier = before.switches.find(thread);
    if (earlier != before.switches.end()) switches += count - earlier->second;
  }
  figures.wakeupsPerSecond = static_cast<double>(switches) / seconds;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atof(argv[2]);
  if (seconds <= 0 || (argc != 1 && argc != 3)) {
    std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
    return 2;
  }
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "needs a display: run under xvfb-run -a\n");
    return 2;
  }

  // The settings window is driven from the keyboard: a window manager gives it focus.
  std::vector<std::string> displayEnvironment = {"PATH=/usr/bin:/bin", "HOME=/tmp"};
  for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
    if (const char* value = std::getenv(name)) displayEnvironment.push_back(std::string(name) + "=" + value);
  }
  PrivateWindowManager windowManager;
  if (!windowManager.start(displayEnvironment)) {
    std::fprintf(stderr, "%s\n", windowManager.error().c_str());
    return 1;
  }

  Instance off(false), on(true);
  for (Instance* instance : {&off, &on}) {
    std::string error;
    if (!instance->launch(error)) {
      std::fprintf(stderr, "record %s: %s\n", instance->recording() ? "on" : "off", error.c_str());
      return 1;
    }
  }
  // Start-up work (page loads, the record's first maintenance) is not idling.
  std::this_thread::sleep_for(std::chrono::seconds(10));
  if (!on.storeExists() || off.storeExists()) {
    std::fprintf(stderr, "the record is not on in one copy and off in the other (store on=%d off=%d)\n",
                 on.storeExists(), off.storeExists());
    return 1;
  }

  const Reading offBefore = off.read(), onBefore = on.read();
  const auto started = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const Reading offAfter = off.read(), onAfter = on.read();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const int offWindows = off.visibleWindows(), onWindows = on.visibleWindows();

  const Figures offFigures = compare(offBefore, offAfter, elapsed);
  const Figures onFigures = compare(onBefore, onAfter, elapsed);
  std::printf("idle %.1f s, both windows open (visible: off %d, on %d)\n", elapsed, offWindows, onWindows);
  std::printf("%-10s %16s %18s %18s\n", "record", "program %core", "web procs %core", "program wakeups/s");
  std::printf("%-10s %16.3f %18.3f %18.1f\n", "off", offFigures.ownPercent, offFigures.childPercent,
              offFigures.wakeupsPerSecond);
  std::printf("%-10s %16.3f %18.3f %18.1f\n", "on", onFigures.ownPercent, onFigures.childPercent,
              onFigures.wakeupsPerSecond);
  std::printf("web processes counted: off %zu, on %zu\n", offFigures.children, onFigures.children);
  std::printf("the record adds %.3f %% of one core to the program (goal: under 0.2)\n",
              onFigures.ownPercent - offFigures.ownPercent);
  return 0;
}
