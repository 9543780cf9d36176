#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/page/WebDownload.h"

namespace tovarin {

// A drivable download: the test plays the engine, asking for a destination, writing
// the data there and reporting the end. Test thread only.
class FakeWebDownload final : public WebDownload, public std::enable_shared_from_this<FakeWebDownload> {
 public:
  explicit FakeWebDownload(std::optional<std::string> originalUrl) : originalUrl_(std::move(originalUrl)) {}

  void setClient(std::weak_ptr<WebDownloadClient> client) override { client_ = std::move(client); }
  std::optional<std::string> originalUrl() const override { return originalUrl_; }
  void cancel() override { cancelled_ = true; }

  // Asks the client for a destination; the answer lands in destination().
  void decideDestination(const std::string& suggestedFilename);
  // Writes `data` to the destination given and reports the download finished.
  void finishWith(const std::string& data);
  void fail(const std::string& error);

  bool answered() const { return answers_ > 0; }
  int answers() const { return answers_; }
  const std::optional<std::string>& destination() const { return destination_; }
  bool cancelled() const { return cancelled_; }

 private:
  std::optional<std::string> originalUrl_;
  std::weak_ptr<WebDownloadClient> client_;
  std::optional<std::string> destination_;
  int answers_ = 0;
  bool cancelled_ = false;
};

}  // namespace tovarin
