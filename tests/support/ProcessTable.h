#pragma once

#include <sys/types.h>

namespace tovarin {

// The system's processes as /proc lists them, for tests that check a child really ended.
struct ProcessTable {
  // True while a process with this id exists (a zombie included); false for ids <= 0.
  static bool contains(pid_t pid);
};

}  // namespace tovarin
