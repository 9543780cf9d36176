#include "main/page/DownloadFiles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <openssl/evp.h>

#include "base/RandomUuid.h"

namespace tovarin::DownloadFiles {

namespace {

constexpr const char* kNotPlaced = "文件未能保存；同名文件不会被覆盖。";

SaveError lastError(const char* description = "") { return SaveError::fromErrno(errno, description); }

std::string hex(const unsigned char* bytes, unsigned length) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (unsigned i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
  }
  return out;
}

std::optional<std::string> sha256(const std::vector<unsigned char>& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) return std::nullopt;
  return hex(digest, length);
}

// Reads all of an open file, up to `limit` bytes; errno tells when it fails.
std::optional<std::vector<unsigned char>> readAll(int fd, std::size_t limit) {
  std::vector<unsigned char> data;
  unsigned char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return data;
    data.insert(data.end(), buffer, buffer + got);
    if (data.size() > limit) {
      errno = EFBIG;
      return std::nullopt;
    }
  }
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t wrote = ::write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return false;
    data += wrote;
    size -= static_cast<std::size_t>(wrote);
  }
  return true;
}

bool copyAll(int from, int to) {
  if (::lseek(from, 0, SEEK_SET) < 0) return false;
  unsigned char buffer[65536];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, buffer, static_cast<std::size_t>(got))) return false;
  }
}

// Writes a copy of `source` into `folder` as a file that has no name yet (or, where the
// file system cannot make one, a hidden name of its own) and then links it under
// `name`: linking never replaces what is there.
std::optional<SaveError> copyExclusively(int source, int folder, const std::string& name) {
  FileDescriptor nameless(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  std::string hiddenName;
  FileDescriptor hidden;
  if (!nameless.valid()) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return lastError(kNotPlaced);
    hiddenName = ".tovarin-" + randomUuid() + ".part";
    hidden = FileDescriptor(::openat(folder, hiddenName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!hidden.valid()) return lastError(kNotPlaced);
  }
  const int target = nameless.valid() ? nameless.get() : hidden.get();
  std::optional<SaveError> failure;
  if (!copyAll(source, target) || ::fsync(target) != 0) {
    failure = lastError(kNotPlaced);
  } else if (nameless.valid()) {
    const std::string self = "/proc/self/fd/" + std::to_string(nameless.get());
    if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) failure = lastError(kNotPlaced);
  } else if (::linkat(folder, hiddenName.c_str(), folder, name.c_str(), 0) != 0) {
    failure = lastError(kNotPlaced);
  }
  if (!hiddenName.empty()) ::unlinkat(folder, hiddenName.c_str(), 0);
  return failure;
}

FileDescriptor openParent(const std::filesystem::path& path) {
  std::string parent = path.parent_path().string();
  if (parent.empty()) parent = ".";
  return FileDescriptor(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

std::variant<std::string, SaveError> makeStagingFolder(const std::string& temporaryDirectory) {
  std::error_code error;
  std::filesystem::create_directories(temporaryDirectory, error);
  if (error) return SaveError::fromErrno(error.value(), error.message());
  std::string folder = (std::filesystem::path(temporaryDirectory) / (std::string(stagingPrefix) + randomUuid())).string();
  if (::mkdir(folder.c_str(), 0700) != 0) return lastError();
  return folder;
}

void removeStagingFolder(const std::string& stagedFile) {
  const std::filesystem::path folder = std::filesystem::path(stagedFile).parent_path();
  if (!folder.filename().string().starts_with(stagingPrefix)) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

std::variant<Verified, SaveError> verify(const std::string& path, std::optional<std::int64_t> expectedBytes,
                                         const std::string& expectedSha256) {
  struct stat before {};
  if (::lstat(path.c_str(), &before) != 0) return lastError();
  if (!S_ISREG(before.st_mode) || !expectedBytes || before.st_size > maxVerifiedBytes ||
      before.st_size != *expectedBytes) {
    return SaveError::unverified();
  }
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file.valid()) return lastError();
  auto data = readAll(file.get(), static_cast<std::size_t>(maxVerifiedBytes));
  if (!data) return errno == EFBIG ? SaveError::unverified() : lastError();
  // What was read is what counts: the file may have changed since it was examined.
  if (static_cast<std::int64_t>(data->size()) != *expectedBytes) return SaveError::unverified();
  auto digest = sha256(*data);
  if (!digest || *digest != expectedSha256) return SaveError::changed();
  return Verified{*digest, *expectedBytes};
}

std::variant<FileDescriptor, FolderProblem> openDownloadsFolder(const std::string& path) {
  struct stat status {};
  if (path.empty() || ::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return FolderProblem::unavailable;
  }
  FileDescriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid()) return FolderProblem::changed;
  return folder;
}

bool existsIn(int folder, const std::string& name) {
  struct stat status {};
  return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

int renameNoReplace(const std::string& from, int folder, const std::string& name) {
  return static_cast<int>(
      ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), folder, name.c_str(), static_cast<unsigned>(RENAME_NOREPLACE)));
}

std::optional<SaveError> placeExclusively(const std::string& staged, int folder, const std::string& name,
                                          const ExclusiveRename& rename) {
  if (folder < 0) {
    errno = EBADF;
    return lastError(kNotPlaced);
  }
  FileDescriptor source(::open(staged.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!source.valid() || ::fsync(source.get()) != 0) return lastError(kNotPlaced);
  if (rename(staged, folder, name) != 0) {
    // Another file system, or one that cannot rename exclusively: copy, then link.
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS) return lastError(kNotPlaced);
    if (auto failure = copyExclusively(source.get(), folder, name)) return failure;
  }
  ::fsync(folder);
  return std::nullopt;
}

std::optional<SaveError> moveReplacing(const std::string& staged, const std::string& destination) {
  const std::filesystem::path target(destination);
  FileDescriptor parent = openParent(target);
  if (!parent.valid()) return lastError();
  const std::string name = target.filename().string();
  struct stat status {};
  if (::fstatat(parent.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    // Nothing there: nothing may be replaced either, should something appear meanwhile.
    return placeExclusively(staged, parent.get(), name);
  }
  FileDescriptor source(::open(staged.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!source.valid() || ::fsync(source.get()) != 0) return lastError();
  if (::renameat(AT_FDCWD, staged.c_str(), parent.get(), name.c_str()) != 0) {
    if (errno != EXDEV) return lastError();
    // Another file system: a full copy beside the old file replaces it in one step.
    const std::string hiddenName = ".tovarin-" + randomUuid() + ".part";
    FileDescriptor copy(
        ::openat(parent.get(), hiddenName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!copy.valid()) return lastError();
    if (!copyAll(source.get(), copy.get()) || ::fsync(copy.get()) != 0 ||
        ::renameat(parent.get(), hiddenName.c_str(), parent.get(), name.c_str()) != 0) {
      SaveError failure = lastError();
      ::unlinkat(parent.get(), hiddenName.c_str(), 0);
      return failure;
    }
  }
  ::fsync(parent.get());
  return std::nullopt;
}

}  // namespace tovarin::DownloadFiles
