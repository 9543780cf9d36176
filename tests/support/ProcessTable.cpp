#include "tests/support/ProcessTable.h"

#include <filesystem>
#include <string>

namespace tovarin {

bool ProcessTable::contains(pid_t pid) { return pid > 0 && std::filesystem::exists("/proc/" + std::to_string(pid)); }

}  // namespace tovarin
