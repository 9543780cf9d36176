#include "main/page/DownloadOutcome.h"

#include <filesystem>

#include "main/page/ShellPanelCopy.h"

namespace tovarin {

DownloadOutcome DownloadOutcome::saved(std::string filename, const std::string& path,
                                       std::optional<std::string> sha256, std::optional<int64_t> bytes) {
  const std::filesystem::path saved(path);
  DownloadOutcome outcome;
  outcome.status = Status::saved;
  outcome.filename = std::move(filename);
  outcome.sha256 = std::move(sha256);
  outcome.bytes = bytes;
  outcome.name = saved.filename().string();
  outcome.folder = saved.parent_path().filename().string();
  if (outcome.folder.empty()) outcome.folder = saved.parent_path().string();
  outcome.path = path;
  outcome.message = ShellPanelCopy::saved(outcome.name, outcome.folder);
  return outcome;
}

DownloadOutcome DownloadOutcome::cancelled(std::string filename) {
  DownloadOutcome outcome;
  outcome.status = Status::cancelled;
  outcome.message = ShellPanelCopy::cancelled(filename);
  outcome.filename = std::move(filename);
  return outcome;
}

DownloadOutcome DownloadOutcome::failed(std::string filename, std::string_view reason) {
  DownloadOutcome outcome;
  outcome.status = Status::failed;
  outcome.message = ShellPanelCopy::failed(filename, reason);
  outcome.filename = std::move(filename);
  return outcome;
}

std::string_view DownloadOutcome::statusText(Status status) {
  switch (status) {
    case Status::saved: return "saved";
    case Status::cancelled: return "cancelled";
    case Status::failed: return "failed";
  }
  return "failed";
}

Json DownloadOutcome::payload() const {
  Json payload = {{"status", statusText(status)}, {"filename", filename}, {"name", name},
                  {"folder", folder},             {"message", message}};
  if (requestId) payload["requestId"] = *requestId;
  if (operationId) payload["operationId"] = *operationId;
  if (blobUrl) payload["blobURL"] = *blobUrl;
  if (sha256) payload["sha256"] = *sha256;
  if (bytes) payload["bytes"] = *bytes;
  return payload;
}

}  // namespace tovarin
