// Text recognition of one picture through OcrService (tesseract kept loaded on the
// recognition queue), first and second request, against the `tesseract` command on the
// same picture and languages: once on a quiet machine and once with one busy-loop
// process per CPU, side by side. The first request loads the language data, as the
// command does every time; the second must not. On busy cores the engine must not slow
// down much (goal: loaded <= 1.5 x quiet for the second request).
//
//   build/default/bench/OcrServiceBench [--runs N] [--busy N] [--busy-apart] [--command-limit S] [picture]
//
// The busy loops run in this process's session, so the scheduler shares the cores
// between them and the bench as equals: a thread gets at most half a core. With
// --busy-apart each loop gets a session of its own, as other programs of a desktop
// session have: the kernel's session groups then share the cores between the groups.
//
// The busy loops number the CPUs this process may run on, as `nproc` counts them, and
// inherit its CPU set: `taskset -c 6,7 OcrServiceBench` measures on two cores with two
// busy loops on exactly those. Default picture: tests/fixtures/ocr/screenshot.png under
// the working directory. Reports medians of wall-clock and CPU time in milliseconds;
// CPU time is the whole process's (every thread the engine starts), and the command's
// own as its parent sees it. "command, 1 thread" runs it with OMP_THREAD_LIMIT=1 in its
// environment, as a baseline that does not spin on busy cores either.

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glib.h>

#include "base/ChildProcess.h"
#include "base/SerialQueue.h"
#include "bench/BenchSupport.h"
#include "main/bridges/OcrService.h"
#include "platform/glib/GlibMainLoop.h"
#include "platform/ocr/TesseractRecognizer.h"

using namespace tovarin;
using namespace tovarin::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct Cost {
  double wallMs = 0;
  double cpuMs = 0;
};

struct Measured {
  std::vector<Cost> command, singleThreadCommand, first, second;
  int failures = 0;   // requests that ended without text (the watchdog included)
  int cutShort = 0;   // commands ended at the limit
};

Cost medianCost(const std::vector<Cost>& costs) {
  std::vector<double> wall, cpu;
  for (const Cost& cost : costs) {
    wall.push_back(cost.wallMs);
    cpu.push_back(cost.cpuMs);
  }
  return {median(wall), median(cpu)};
}

// One request through the service, timed from the call to its completion.
Cost timedRequest(OcrService& service, const std::vector<uint8_t>& picture, std::string& text, int& failures) {
  auto result = std::make_shared<std::optional<OcrResult>>();
  const auto start = Clock::now();
  const double cpuBefore = cpuSeconds(RUSAGE_SELF) * 1000;
  service.recognizeData(picture, [result](OcrResult r) { *result = std::move(r); });
  while (!*result) g_main_context_iteration(nullptr, TRUE);
  const Cost cost{millisecondsSince(start), cpuSeconds(RUSAGE_SELF) * 1000 - cpuBefore};
  if ((*result)->ok()) {
    text = (*result)->text;
  } else {
    text = "(failed: " + ocrFailureMessage(*(*result)->failure) + ")";
    ++failures;
  }
  return cost;
}

// A command still running after `limitSeconds` is ended and counted at the limit (its
// CPU time up to then): on busy cores one run can take minutes.
Cost timedCommand(const std::string& picture, std::vector<std::string> environment, double limitSeconds,
                  int& cutShort) {
  environment.push_back("PATH=/usr/bin:/bin");
  const auto start = Clock::now();
  const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN) * 1000;
  // The text is a few hundred bytes, which the pipe holds until the command has ended.
  auto launch = ChildProcess::launch(
      ChildProcessOptions{"/usr/bin/tesseract", {picture, "-", "-l", "chi_sim+eng"}, ".", environment, false, true});
  if (!launch.process) return {-1, -1};
  while (launch.process->isRunning()) {
    if (millisecondsSince(start) > limitSeconds * 1000) {
      launch.process->signal(SIGKILL);
      ++cutShort;
      break;
    }
    g_usleep(2000);
  }
  (void)launch.process->wait();
  (void)launch.process->readAllOutput();
  return {std::min(millisecondsSince(start), limitSeconds * 1000), cpuSeconds(RUSAGE_CHILDREN) * 1000 - cpuBefore};
}

Measured measure(GlibMainLoop& loop, const std::string& picture, const std::vector<uint8_t>& bytes, int runs,
                 double commandLimit, std::string& text) {
  Measured measured;
  for (int run = 0; run < runs; ++run) {
    {
      // A fresh service and engine per run, so that every first request loads the data.
      SerialQueue queue(std::string(OcrService::queueLabel));
      OcrService fresh(loop, queue, std::make_shared<TesseractRecognizer>());
      measured.first.push_back(timedRequest(fresh, bytes, text, measured.failures));
      measured.second.push_back(timedRequest(fresh, bytes, text, measured.failures));
    }
    measured.command.push_back(timedCommand(picture, {}, commandLimit, measured.cutShort));
    measured.singleThreadCommand.push_back(
        timedCommand(picture, {"OMP_THREAD_LIMIT=1"}, commandLimit, measured.cutShort));
  }
  return measured;
}

}  // namespace

// One shell busy loop per CPU of this process's set; they end with the bench however it ends.
std::vector<std::shared_ptr<ChildProcess>> startBusyLoops(int count, bool apart) {
  std::vector<std::shared_ptr<ChildProcess>> loops;
  for (int i = 0; i < count; ++i) {
    ChildProcessOptions options{"/bin/sh", {"-c", "while :; do :; done"}, ".", {"PATH=/usr/bin:/bin"}, false, false};
    // setsid execs the loop in the same process, so the loop is still the one we end.
    if (apart) options = {"/usr/bin/setsid", {"/bin/sh", "-c", "while :; do :; done"}, ".", {"PATH=/usr/bin:/bin"}, false, false};
    options.endsWithProgram = true;
    auto launch = ChildProcess::launch(options);
    if (launch.process) loops.push_back(launch.process);
  }
  return loops;
}

void stopBusyLoops(std::vector<std::shared_ptr<ChildProcess>>& loops) {
  for (auto& loop : loops) {
    loop->signal(SIGKILL);
    (void)loop->wait();
  }
  loops.clear();
}

void printRow(const char* name, const std::vector<Cost>& quiet, const std::vector<Cost>& loaded) {
  const Cost q = medianCost(quiet), l = medianCost(loaded);
  std::printf("%-30s %9.1f %9.1f   %9.1f %9.1f   %6.2f\n", name, q.wallMs, q.cpuMs, l.wallMs, l.cpuMs, l.wallMs / q.wallMs);
}

int main(int argc, char** argv) {
  int runs = 5;
  double commandLimit = 60;
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  int busy = ::sched_getaffinity(0, sizeof(cpus), &cpus) == 0 ? CPU_COUNT(&cpus) : 1;
  bool apart = false;
  std::string picture = "tests/fixtures/ocr/screenshot.png";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--command-limit" && i + 1 < argc) {
      commandLimit = std::max(1.0, std::atof(argv[++i]));
    } else if (argument == "--busy" && i + 1 < argc) {
      busy = std::max(0, std::atoi(argv[++i]));
    } else if (argument == "--busy-apart") {
      apart = true;
    } else {
      picture = argument;
    }
  }
  std::ifstream file(picture, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (bytes.empty()) {
    std::fprintf(stderr, "cannot read %s\n", picture.c_str());
    return 1;
  }

  GlibMainLoop loop;
  std::string text;
  const Measured quiet = measure(loop, picture, bytes, runs, commandLimit, text);
  auto busyLoops = startBusyLoops(busy, apart);
  const Measured loaded = measure(loop, picture, bytes, runs, commandLimit, text);
  stopBusyLoops(busyLoops);

  std::printf("picture: %s (%zu bytes), languages chi_sim+eng, %d runs each, %d busy loops%s\n", picture.c_str(),
              bytes.size(), runs, busy, apart ? " in sessions of their own" : "");
  std::printf("%-30s %21s   %21s   %6s\n", "medians", "quiet", "loaded", "loaded");
  std::printf("%-30s %9s %9s   %9s %9s   %6s\n", "", "wall ms", "cpu ms", "wall ms", "cpu ms", "/quiet");
  printRow("tesseract command", quiet.command, loaded.command);
  printRow("tesseract command, 1 thread", quiet.singleThreadCommand, loaded.singleThreadCommand);
  printRow("OcrService first request", quiet.first, loaded.first);
  printRow("OcrService second request", quiet.second, loaded.second);
  const auto ratio = [](const std::vector<Cost>& a, const std::vector<Cost>& b) {
    return medianCost(a).wallMs / medianCost(b).wallMs;
  };
  std::printf("second request / command        %6.2f quiet  %6.2f loaded  (goal <= 0.70)\n",
              ratio(quiet.second, quiet.command), ratio(loaded.second, loaded.command));
  std::printf("second request / command 1 thr. %6.2f quiet  %6.2f loaded\n",
              ratio(quiet.second, quiet.singleThreadCommand), ratio(loaded.second, loaded.singleThreadCommand));
  std::printf("second request loaded / quiet   %6.2f  (goal <= 1.50)\n", ratio(loaded.second, quiet.second));
  std::printf("requests without text: %d quiet, %d loaded; commands ended at %.0f s: %d quiet, %d loaded\n",
              quiet.failures, loaded.failures, commandLimit, quiet.cutShort, loaded.cutShort);
  std::printf("text: %s\n", text.c_str());
  return 0;
}
