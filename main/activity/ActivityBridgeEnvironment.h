#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "base/ProcessEnvironment.h"

// Where the local server finds the activity bridge: three variables that only the
// server child receives, through the environment overlay it is launched with (never
// the program's own environment, which every other child would inherit).
namespace tovarin::ActivityBridgeEnvironment {

inline constexpr const char* socketKey = "TOVARIN_ACTIVITY_SOCKET";
inline constexpr const char* tokenKey = "TOVARIN_ACTIVITY_TOKEN";
inline constexpr const char* pageHashKey = "TOVARIN_ACTIVITY_PAGE_SHA256";

// <runtime directory>/tovarin-activity-<pid>.sock
[[nodiscard]] std::string socketPath(const std::string& runtimeDirectory, pid_t pid);
// In the user's runtime directory, for this process.
[[nodiscard]] std::string socketPath();
// Lower-case hexadecimal SHA-256 of the text's bytes.
[[nodiscard]] std::string sha256Hex(std::string_view text);

void exportTo(ProcessEnvironment& serverEnvironment, const std::string& socketPath, const std::string& token,
              const std::string& pageToken);
void clear(ProcessEnvironment& serverEnvironment);

}  // namespace tovarin::ActivityBridgeEnvironment
