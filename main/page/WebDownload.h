#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tovarin {

class WebDownload;

// Receives one download's events on the main thread.
class WebDownloadClient {
 public:
  virtual ~WebDownloadClient() = default;
  // Where the engine writes the data: a path, or none to refuse (cancel) the download.
  // The completion must be called exactly once, now or later.
  virtual void downloadDecideDestination(WebDownload& download, const std::string& suggestedFilename,
                                         std::function<void(std::optional<std::string>)> completion) = 0;
  // The data is complete at the destination.
  virtual void downloadDidFinish(WebDownload& download) = 0;
  // The transfer failed or was cancelled; `error` is the engine's description.
  virtual void downloadDidFail(WebDownload& download, const std::string& error) = 0;
};

// One download a page started. Main thread only. Its identity is its address.
class WebDownload {
 public:
  virtual ~WebDownload() = default;
  // The client is held weakly; events after it is gone are dropped, and a destination
  // asked for then is refused.
  virtual void setClient(std::weak_ptr<WebDownloadClient> client) = 0;
  // The address the download was first requested from; none when it had none.
  virtual std::optional<std::string> originalUrl() const = 0;
  // Stops the transfer; a failure reported afterwards is the engine's, not news.
  virtual void cancel() = 0;
};

}  // namespace tovarin
