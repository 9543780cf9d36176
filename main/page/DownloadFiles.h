#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "main/page/FileDescriptor.h"
#include "main/page/SaveError.h"

// The file work of saving a download: staging, verification and placement. Synchronous;
// any thread, though the program calls it on the main one (files are small).
namespace tovarin::DownloadFiles {

inline constexpr std::int64_t maxVerifiedBytes = 131072;
inline constexpr std::string_view stagingPrefix = "tovarin-download-";

struct Verified {
  std::string sha256;  // lowercase hex
  std::int64_t bytes = 0;
};

enum class FolderProblem {
  unavailable,  // missing, unreadable, not a folder, or a symbolic link
  changed,      // it could not be opened as the folder just examined
};

// A fresh private folder for one download inside `temporaryDirectory`, which is made
// when missing. Returns its path.
[[nodiscard]] std::variant<std::string, SaveError> makeStagingFolder(const std::string& temporaryDirectory);
// Removes the staging folder that holds `stagedFile`, ignoring errors. Nothing happens
// when the parent is not a staging folder.
void removeStagingFolder(const std::string& stagedFile);

// A plain file (never a symbolic link) of exactly `expectedBytes` (at most
// maxVerifiedBytes) whose SHA-256 is `expectedSha256`.
[[nodiscard]] std::variant<Verified, SaveError> verify(const std::string& path,
                                                       std::optional<std::int64_t> expectedBytes,
                                                       const std::string& expectedSha256);

// Opens the Downloads folder for placing into it, refusing a symbolic link or anything
// that is not a folder.
[[nodiscard]] std::variant<FileDescriptor, FolderProblem> openDownloadsFolder(const std::string& path);
// Something (a file, a folder, a dangling link) has this name in the folder.
[[nodiscard]] bool existsIn(int folder, const std::string& name);

// renameat2 with RENAME_NOREPLACE; the seam lets tests make it fail.
using ExclusiveRename = std::function<int(const std::string& from, int folder, const std::string& name)>;
[[nodiscard]] int renameNoReplace(const std::string& from, int folder, const std::string& name);

// Puts the staged file into `folder` under `name`, never replacing anything there, and
// syncs it to disk. Across file systems the bytes are written into a nameless file in
// the folder that is then linked under the name, which fails when the name exists.
[[nodiscard]] std::optional<SaveError> placeExclusively(const std::string& staged, int folder, const std::string& name,
                                                        const ExclusiveRename& rename = renameNoReplace);
// Moves the staged file to `destination`, replacing a file there (the user confirmed
// that), and syncs it to disk.
[[nodiscard]] std::optional<SaveError> moveReplacing(const std::string& staged, const std::string& destination);

}  // namespace tovarin::DownloadFiles
