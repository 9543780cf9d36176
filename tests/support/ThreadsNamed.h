#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

namespace tovarin {

// Threads of this process with this name. A new thread takes the name of the thread
// that started it.
inline size_t threadsNamed(const std::string& name) {
  size_t count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string line;
    if (std::getline(comm, line) && line == name) ++count;
  }
  return count;
}

}  // namespace tovarin
