#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/RandomUuid.h"

namespace tovarin::atomic_file {
namespace {

// Past this many files set aside under one name something is producing them in a loop;
// refusing then keeps the folder from filling.
constexpr int kMaxAsideNumber = 10000;
constexpr int kTemporaryAttempts = 16;

std::string reason(int error) { return std::strerror(error); }

// A file that did not exist before this call: O_EXCL refuses a name that is taken, a
// planted symbolic link included, so another random name is tried.
int createTemporary(const std::string& beside, std::string& name) {
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    name = beside + ".tmp-" + randomUuid().substr(0, 8);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool writeAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    contents.remove_prefix(static_cast<size_t>(written));
  }
  return ::fsync(fd) == 0;
}

// A complete, synced temporary file beside `beside` holding `contents`; its name, or
// the errno that stopped it (nothing is left behind then).
std::optional<std::string> writeTemporary(const std::string& beside, std::string_view contents, int& error) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(beside).parent_path(), ignored);
  std::string name;
  const int fd = createTemporary(beside, name);
  if (fd < 0) {
    error = errno;
    return std::nullopt;
  }
  const bool written = writeAll(fd, contents);
  error = errno;
  ::close(fd);
  if (!written) {
    ::unlink(name.c_str());
    return std::nullopt;
  }
  return name;
}

// Renames without ever replacing; a file system that cannot do that exclusively gets a
// hard link (which never replaces either) and the old name removed, and one without hard
// links (vfat, some FUSE) a rename once the name is seen free.
int renameExclusively(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return -1;
  struct stat taken {};
  if (::lstat(to.c_str(), &taken) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (errno != ENOENT) return -1;
  return ::rename(from.c_str(), to.c_str());
}

}  // namespace

std::optional<std::string> replace(const std::string& path, std::string_view contents) {
  int error = 0;
  const auto temporary = writeTemporary(path, contents, error);
  if (!temporary) return reason(error);
  // rename replaces a symbolic link at `path` itself, never the file it points to.
  if (::rename(temporary->c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temporary->c_str());
    return reason(error);
  }
  return std::nullopt;
}

std::optional<std::string> setAside(const std::string& path, const std::string& name) {
  for (int number = 1; number <= kMaxAsideNumber; ++number) {
    const std::string candidate = number == 1 ? name : name + "-" + std::to_string(number);
    if (renameExclusively(path, candidate) == 0) return candidate;
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> writeAside(const std::string& name, std::string_view contents) {
  int error = 0;
  const auto temporary = writeTemporary(name, contents, error);
  if (!temporary) return std::nullopt;
  auto placed = setAside(*temporary, name);
  if (!placed) ::unlink(temporary->c_str());
  return placed;
}

}  // namespace tovarin::atomic_file
