#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/MainLoop.h"
#include "main/page/WebDownload.h"

struct _WebKitDownload;

namespace tovarin {

// One WebKitGTK download. Lives on the main loop. Until a client adopts it, and once
// its client is gone, a destination asked for is refused, which cancels it.
class GtkWebDownload final : public WebDownload, public std::enable_shared_from_this<GtkWebDownload> {
 public:
  static std::shared_ptr<GtkWebDownload> create(MainLoop& loop, _WebKitDownload* download);
  ~GtkWebDownload() override;
  GtkWebDownload(const GtkWebDownload&) = delete;
  GtkWebDownload& operator=(const GtkWebDownload&) = delete;

  void setClient(std::weak_ptr<WebDownloadClient> client) override;
  std::optional<std::string> originalUrl() const override;
  void cancel() override;

  // Signal entry points (public for the C callbacks in the implementation).
  bool onDecideDestination(const char* suggestedFilename);
  void onFailed(const char* error);
  void onFinished();

 private:
  GtkWebDownload(MainLoop& loop, _WebKitDownload* download);
  void connectSignals();
  void answerDestination(unsigned decision, std::optional<std::string> path);
  // A second cancel of one download, before the engine has reported the first, ends in
  // a crash inside the engine once the page is gone.
  void cancelOnce();

  MainLoop& loop_;
  _WebKitDownload* download_;  // strong reference
  std::weak_ptr<WebDownloadClient> client_;
  std::vector<std::pair<void*, unsigned long>> signalHandlers_;

  unsigned decisions_ = 0;          // destination questions asked so far
  bool awaitingDestination_ = false;
  bool failed_ = false;  // the engine reports "finished" after a failure too
  bool ended_ = false;
  bool cancelAsked_ = false;
};

}  // namespace tovarin
