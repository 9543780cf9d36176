#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tovarin {

// A fresh private directory, removed with everything in it at the end of the test.
class TempDir final {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tovarin-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made ? made : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tovarin
