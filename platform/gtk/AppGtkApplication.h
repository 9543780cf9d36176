#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tovarin {

// The program as one single-instance GTK application. The first start is the primary
// instance; a later start hands its URLs (or a plain activation) to the primary over
// the session bus and exits. The first activation or URL opening of the primary is the
// launch; SIGTERM, SIGINT and SIGHUP quit through the loop, so that the termination
// steps always run. Closing every window does not quit: the application holds itself.
//
// Lives on the main thread, which run() turns into the GLib main loop.
class AppGtkApplication final {
 public:
  struct Events {
    std::function<void()> launch;
    // URLs of one opening, as their text ("the-tovarin://tasks"); before launch when
    // the program was started with them.
    std::function<void(const std::vector<std::string>& urls)> open;
    // A later activation (a start without URLs while running).
    std::function<void()> reopen;
    // The loop is ending; the windows still exist.
    std::function<void()> terminate;
    // The last of the program's windows that had the focus lost it to another program
    // (or hid).
    std::function<void()> resignActive;
  };

  explicit AppGtkApplication(std::string applicationId);
  ~AppGtkApplication();
  AppGtkApplication(const AppGtkApplication&) = delete;
  AppGtkApplication& operator=(const AppGtkApplication&) = delete;

  // Runs until quit(); returns the exit status. A secondary instance returns at once.
  int run(int argc, char** argv, Events events);
  void quit();
  // The underlying GtkApplication, for the platform's own menus and windows.
  void* nativeApplication() const;

  struct State;

 private:
  State* state_;
};

}  // namespace tovarin
