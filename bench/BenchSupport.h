#pragma once

// Small figures shared by the benches: order statistics, clocks, and readings of /proc.

#include <sys/resource.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace tovarin::bench {

// The middle value, or the mean of the middle two; 0 for no values.
inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The value at that fraction (0..1) of the sorted values, the nearest rank; 0 for none.
inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = fraction * static_cast<double>(values.size() - 1) + 0.5;
  return values[std::min(values.size() - 1, static_cast<size_t>(rank))];
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The wall clock, which other processes can write down too.
inline double wallMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// User plus system time of RUSAGE_SELF or RUSAGE_CHILDREN, in seconds.
inline double cpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A kilobyte field of /proc/<process>/status ("VmRSS", "VmHWM"); process is a pid or
// "self". -1 when it cannot be read.
inline long statusKilobytes(const std::string& process, const char* field) {
  std::ifstream status("/proc/" + process + "/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

inline long residentKilobytes(pid_t pid) { return statusKilobytes(std::to_string(pid), "VmRSS"); }

// Voluntary and involuntary context switches of each thread of a process (a pid or
// "self"), by thread id: a thread's count ends with it, so only threads alive at both of
// two readings compare.
inline std::map<std::string, long long> contextSwitches(const std::string& process) {
  std::map<std::string, long long> threads;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + process + "/task", error)) {
    long long total = 0;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::atoll(line.substr(line.find(':') + 1).c_str());
      }
    }
    threads[task.path().filename().string()] = total;
  }
  return threads;
}

}  // namespace tovarin::bench
