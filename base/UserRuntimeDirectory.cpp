#include "base/UserRuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace tovarin::UserRuntimeDirectory {
namespace {

std::string withoutTrailingSlashes(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

// The fallback directory, removed at exit when nothing was left in it.
struct PrivateDirectory {
  PrivateDirectory();
  ~PrivateDirectory() {
    if (!path.empty()) ::rmdir(path.c_str());
  }
  std::string path;
};

std::string makePrivateDirectory() {
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) base = "/tmp";
  std::string pattern = (base / ("tovarin-" + std::to_string(::getuid()) + "-XXXXXX")).string();
  // mkdtemp makes it 0700.
  const char* made = ::mkdtemp(pattern.data());
  return made ? std::string(made) : std::string();
}

PrivateDirectory::PrivateDirectory() : path(makePrivateDirectory()) {}

}  // namespace

bool isPrivate(const std::string& directory) {
  struct stat status {};
  if (directory.empty() || ::stat(directory.c_str(), &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

std::string path(const ProcessEnvironment& environment) {
  if (auto runtime = environment.get("XDG_RUNTIME_DIR"); runtime && !runtime->empty() && runtime->front() == '/') {
    std::string directory = withoutTrailingSlashes(*runtime);
    if (isPrivate(directory)) return directory;
  }
  static const PrivateDirectory fallback;
  return fallback.path;
}

}  // namespace tovarin::UserRuntimeDirectory
