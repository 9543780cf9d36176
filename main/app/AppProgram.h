#pragma once

#include <memory>

#include "main/app/AppDelegate.h"

namespace tovarin {

class AppGtkApplication;

// The whole running program: the GLib main loop, the GTK desktop and web views, the
// Linux services, the real parts and the delegate, built once GTK is up (at the first
// activation or opening) and torn down after the loop ends, in reverse order.
// Main thread only.
class AppProgram final {
 public:
  explicit AppProgram(AppGtkApplication& application);
  ~AppProgram();
  AppProgram(const AppProgram&) = delete;
  AppProgram& operator=(const AppProgram&) = delete;

  AppDelegate& delegate();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tovarin
