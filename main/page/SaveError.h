#pragma once

#include <string>

namespace tovarin {

// Why saving a download failed: an errno value from the file system, or a failed
// check of the downloaded content. The description goes to the log, never to the page.
struct SaveError {
  enum class Kind {
    system,        // `code` is an errno value
    verification,  // `code` is one of the two codes below
  };
  static constexpr int contentUnverified = 1;  // not a plain file, or not the announced size
  static constexpr int contentChanged = 2;     // the digest differs

  Kind kind = Kind::system;
  int code = 0;
  std::string description;

  [[nodiscard]] static SaveError fromErrno(int errorNumber, std::string description);
  [[nodiscard]] static SaveError unverified();
  [[nodiscard]] static SaveError changed();
};

}  // namespace tovarin
