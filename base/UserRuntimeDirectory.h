#pragma once

#include <string>

#include "base/ProcessEnvironment.h"

// The per-user directory for sockets and other runtime files. Any thread.
namespace tovarin::UserRuntimeDirectory {

// $XDG_RUNTIME_DIR when it is a directory of this user that nobody else may enter;
// otherwise a private directory (mode 0700) made once per process in the system's
// temporary directory. Empty when neither exists. No trailing slash.
[[nodiscard]] std::string path(const ProcessEnvironment& environment);

// Whether `directory` exists, belongs to this user and grants nothing to others.
[[nodiscard]] bool isPrivate(const std::string& directory);

}  // namespace tovarin::UserRuntimeDirectory
