#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// Files the program owns and replaces whole (settings, pending reminders). Whatever was
// planted in their folder is never written through: a temporary file is always a new
// one (a name taken already, or a symbolic link, is refused and another is tried), and
// a file set aside never replaces one set aside before. Any thread.
namespace atomic_file {

// Writes `contents` to a new file beside `path` and renames it over `path`, so a crash
// leaves the old file or the new one, never half of either. Makes missing folders. The
// reason on failure, with nothing changed.
[[nodiscard]] std::optional<std::string> replace(const std::string& path, std::string_view contents);

// Moves `path` to `name`, or to `name-2`, `name-3`... if that is taken: the first free
// one. The name it now has; nothing when it could not be moved.
[[nodiscard]] std::optional<std::string> setAside(const std::string& path, const std::string& name);

// Writes `contents` to a new file under the first free name of the same series as
// setAside. The name written; nothing when it could not be written.
[[nodiscard]] std::optional<std::string> writeAside(const std::string& name, std::string_view contents);

}  // namespace atomic_file
}  // namespace tovarin
