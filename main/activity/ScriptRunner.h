#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovarin {

// Runs a short-lived helper program and takes its printed answer. Blocks the calling
// thread until the program has exited or the timeout has passed.
class ScriptRunner final {
 public:
  struct Command {
    std::string executable;  // a path; PATH is not searched
    std::vector<std::string> arguments;
  };

  // The program's standard output, trimmed of white space and line breaks at both ends.
  // Nothing when the program cannot start, outlives the timeout (it is then killed),
  // exits other than with status 0, prints text that is not UTF-8, or prints only
  // blanks. Output is read only once the program has exited, so a program that fills
  // the pipe cannot exit and ends at the timeout.
  [[nodiscard]] static std::optional<std::string> run(const Command& command, double timeoutSeconds);
};

}  // namespace tovarin
