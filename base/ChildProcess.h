#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tovarin {

struct ChildProcessOptions {
  std::string executable;              // a path; PATH is not searched
  std::vector<std::string> arguments;  // after argv[0], which is the executable
  std::string workingDirectory;        // empty: the parent's
  std::vector<std::string> environment;  // "NAME=value", the child's whole environment
  bool inheritStdin = true;            // else /dev/null
  bool captureStdout = false;          // a pipe read with readAllOutput(); else /dev/null
  // Standard error always goes to /dev/null.
  // The child is sent SIGTERM when this program ends, however it ends (even killed),
  // so that it cannot outlive the program holding what it holds.
  bool endsWithProgram = false;
};

// A child started with posix_spawn (with endsWithProgram, forked from a launcher thread
// that lives until exit, since the parent-death signal follows the forking thread). The child gets only descriptors 0-2: every other
// one is closed in it, whether or not it was opened close-on-exec. It starts with the
// default signal dispositions and an empty signal mask.
//
// Only this process's own children are reaped, each by its pid (never waitpid(-1)),
// by whoever sees the exit first: isRunning(), wait() or a process-wide reaper thread
// that watches every child through a pidfd. A zombie never counts as running, and a
// reaped pid is never signalled. The exit handler runs once, on the reaper thread,
// even after the ChildProcess object is gone. Any thread.
class ChildProcess final {
 public:
  using ExitHandler = std::function<void(int waitStatus)>;
  struct [[nodiscard]] Launch {
    std::shared_ptr<ChildProcess> process;  // null on failure
    std::string error;                      // why, when process is null
  };

  static Launch launch(const ChildProcessOptions& options, ExitHandler onExit = nullptr);
  // Whether pid is a child this program launched and has not reaped: while that holds,
  // the pid cannot have passed to another process. Any thread.
  [[nodiscard]] static bool isUnreapedChild(pid_t pid);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const;
  // Reaps the child if it has exited; true while it has not.
  bool isRunning();
  // False when the child has already been reaped (its pid may belong to another).
  bool signal(int signalNumber);
  // Blocks until the child exits; returns its wait status.
  int wait();
  std::optional<int> waitStatus() const;
  // With captureStdout: reads standard output to its end (blocks). Else "".
  std::string readAllOutput();

  struct State;

 private:
  ChildProcess(std::shared_ptr<State> state, int outputFd);

  std::shared_ptr<State> state_;
  int outputFd_ = -1;
};

}  // namespace tovarin
