#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <optional>
#include <string_view>

// Who is at the other end of a local socket, from the kernel's own records. Any thread.
namespace tovarin::ActivityPeer {

// The connecting process's ids as the kernel recorded them at connect (SO_PEERCRED).
[[nodiscard]] std::optional<ucred> credentials(int socket);
// The process that connected (SO_PEERCRED); none when unreadable or below 1.
[[nodiscard]] std::optional<pid_t> pid(int socket);
// From /proc/<pid>/stat; none for a process that is gone or a record that cannot be read.
[[nodiscard]] std::optional<pid_t> parentPID(pid_t pid);
// The parent id in one /proc/<pid>/stat line. The command name in parentheses may hold
// anything, ")" and spaces included, so the fields are read after the last ")".
[[nodiscard]] std::optional<pid_t> parentPIDFromStat(std::string_view stat);
// A process this one started: pid at least 1, not this process, its parent this process.
[[nodiscard]] bool isChildOfCurrentProcess(pid_t pid);
// The peer's credentials are readable and its user is this process's real user.
[[nodiscard]] bool sameUser(int socket);
[[nodiscard]] bool isSameUser(const ucred& peer);

}  // namespace tovarin::ActivityPeer
