#include "platform/gtk/UserFolders.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <glib.h>

namespace tovarin::UserFolders {

std::string downloads() {
  const char* configured = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  const char* home = g_get_home_dir();
  // Without a configured folder GLib may answer with the home folder itself.
  if (configured && *configured && (!home || g_strcmp0(configured, home) != 0)) return configured;
  return std::string(home ? home : "") + "/Downloads";
}

std::string temporary() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat status {};
  if (runtime && *runtime == '/' && ::stat(runtime, &status) == 0 && S_ISDIR(status.st_mode)) return runtime;
  static const std::string made = [] {
    std::string pattern = std::string(g_get_tmp_dir()) + "/the-tovarin-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
  }();
  return made;
}

}  // namespace tovarin::UserFolders
