#pragma once

#include <string>
#include <vector>

namespace tovarin {

// The one way the application runs a system tool: the tool's whole standard output,
// or "" on any failure (not an executable file, launch error, output not UTF-8). The
// exit status is not looked at. Standard input and the environment (ProcessEnvironment)
// are inherited; standard error goes to /dev/null. Blocks until the tool exits.
std::string shellOutput(const std::string& path, const std::vector<std::string>& arguments);

}  // namespace tovarin
