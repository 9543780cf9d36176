#include "main/activity/ScriptRunner.h"

#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>

#include "base/ChildProcess.h"
#include "base/Text.h"

namespace tovarin {
namespace {

// The exit handler runs on the reaper thread, possibly after run() has given up.
struct ExitSignal {
  std::mutex mutex;
  std::condition_variable exited;
  bool done = false;  // mutex
};

}  // namespace

std::optional<std::string> ScriptRunner::run(const Command& command, double timeoutSeconds) {
  ChildProcessOptions options;
  options.executable = command.executable;
  options.arguments = command.arguments;
  options.inheritStdin = false;
  options.captureStdout = true;
  options.endsWithProgram = true;
  auto signal = std::make_shared<ExitSignal>();
  auto launch = ChildProcess::launch(options, [signal](int) {
    std::lock_guard lock(signal->mutex);
    signal->done = true;
    signal->exited.notify_all();
  });
  if (!launch.process) return std::nullopt;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  bool exited = false;
  {
    std::unique_lock lock(signal->mutex);
    exited = signal->exited.wait_until(lock, deadline, [&] { return signal->done; });
  }
  if (!exited) {
    launch.process->signal(SIGKILL);
    return std::nullopt;
  }
  const std::optional<int> status = launch.process->waitStatus();
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return std::nullopt;
  const std::string output = launch.process->readAllOutput();
  if (!text::isValidUtf8(output)) return std::nullopt;
  std::string trimmed = text::trimWhitespace(output);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

}  // namespace tovarin
