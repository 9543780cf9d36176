#pragma once

#include <string>

// The user's folders that saving downloads needs. Main thread (GLib caches them).
namespace tovarin::UserFolders {

// The desktop's download folder, else ~/Downloads; it may not exist.
[[nodiscard]] std::string downloads();
// $XDG_RUNTIME_DIR when it is a folder, else a private folder (mode 0700) made once for
// this process in the system's temporary folder; empty when none could be made.
[[nodiscard]] std::string temporary();

}  // namespace tovarin::UserFolders
