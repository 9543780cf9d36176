#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Json.h"

namespace tovarin {

// The one receipt of a download the page started.
struct DownloadOutcome {
  enum class Status { saved, cancelled, failed };

  Status status = Status::failed;
  std::string filename;
  std::optional<std::string> requestId;
  std::optional<std::string> operationId;
  std::optional<std::string> blobUrl;
  std::optional<std::string> sha256;
  std::optional<int64_t> bytes;
  std::string name;    // the saved file's name ("" unless saved)
  std::string folder;  // the display name of its folder ("" unless saved)
  std::string path;    // its full path ("" unless saved); never sent to the page
  std::string message;

  [[nodiscard]] static DownloadOutcome saved(std::string filename, const std::string& path,
                                             std::optional<std::string> sha256, std::optional<int64_t> bytes);
  [[nodiscard]] static DownloadOutcome cancelled(std::string filename);
  [[nodiscard]] static DownloadOutcome failed(std::string filename, std::string_view reason);

  [[nodiscard]] static std::string_view statusText(Status status);
  // What the page receives: everything but the path.
  [[nodiscard]] Json payload() const;

  bool operator==(const DownloadOutcome&) const = default;
};

}  // namespace tovarin
