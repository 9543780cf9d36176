// A launch with an oversized file of pending reminders: how long the caller (the main
// window's build) is held, how long until the reminders are in, the peak memory, and
// the launch after it, once the surplus has been moved aside.
//
//   build/default/bench/ReminderLoadBench [--dir DIRECTORY] [--count N]
//
// The directory defaults to /dev/shm, so the figures show parsing rather than the disk.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/Json.h"
#include "base/SerialQueue.h"
#include "bench/BenchSupport.h"
#include "main/bridges/ReminderScheduler.h"
#include "tests/support/FakeSystemNotifier.h"
#include "tests/support/FakeWallClockAlarm.h"
#include "tests/support/ManualLoop.h"

namespace fs = std::filesystem;
using namespace tovarin;
using namespace tovarin::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kNow = 1.9e9;

long peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void writeFile(const std::string& path, int count) {
  std::ofstream out(path);
  out << "{\"reminders\": [";
  for (int i = 0; i < count; ++i) {
    if (i > 0) out << ",";
    out << Json{{"id", "reminder-" + std::to_string(i)}, {"title", "开会"}, {"body", "三楼会议室"},
                {"fireAt", kNow + 3600 + i}}
               .dump();
  }
  out << "]}";
}

void launch(const char* label, const std::string& path) {
  ManualLoop loop;
  SerialQueue background("bench.reminders");
  FakeSystemNotifier notifier;
  FakeWallClockAlarm clock(kNow);
  ReminderScheduler scheduler(path, notifier, clock, loop, background);
  const auto start = Clock::now();
  scheduler.start();
  const double held = secondsSince(start);
  if (!loop.waitFor([&] { return scheduler.loaded(); }, 600)) {
    std::printf("%s: not loaded within 600 s\n", label);
    return;
  }
  std::printf("%s: caller held %.6f s, reminders in after %.3f s, %zu pending, peak RSS %ld MB\n", label, held,
              secondsSince(start), scheduler.pending().size(), peakMegabytes());
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  int count = 1000000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--dir") directory = argv[i + 1];
    if (flag == "--count") count = std::max(1, std::atoi(argv[i + 1]));
  }
  const fs::path folder = fs::path(directory) / ("reminder-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string path = (folder / "reminders.json").string();
  writeFile(path, count);
  std::printf("%d reminders, %.1f MB\n", count, static_cast<double>(fs::file_size(path)) / 1e6);
  launch("first launch", path);
  launch("next launch", path);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
