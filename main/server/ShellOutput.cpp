#include "main/server/ShellOutput.h"

#include <unistd.h>

#include <filesystem>

#include "base/ChildProcess.h"
#include "base/ProcessEnvironment.h"
#include "base/Text.h"

namespace tovarin {

std::string shellOutput(const std::string& path, const std::vector<std::string>& arguments) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || ::access(path.c_str(), X_OK) != 0) return "";
  ChildProcessOptions options;
  options.executable = path;
  options.arguments = arguments;
  options.environment = ProcessEnvironment::shared().snapshot();
  options.inheritStdin = true;
  options.captureStdout = true;
  auto launched = ChildProcess::launch(options);
  if (!launched.process) return "";
  std::string output = launched.process->readAllOutput();
  (void)launched.process->wait();
  return text::isValidUtf8(output) ? output : "";
}

}  // namespace tovarin
