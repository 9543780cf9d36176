#pragma once

#include "base/TaskRunner.h"

namespace tovarin {

// The thread that owns windows, pages and controllers. In the program it is the GLib
// main context that GTK runs; in tests it is ManualLoop with virtual time.
class MainLoop : public TaskRunner {
 public:
  bool isMainThread() const { return isCurrent(); }
};

}  // namespace tovarin
