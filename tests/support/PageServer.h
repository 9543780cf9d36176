#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tests/support/LoopbackServer.h"

namespace tovarin {

// Serves fixed pages on 127.0.0.1 for the desktop tests; a path without a page gets 404.
class PageServer final {
 public:
  struct Page {
    std::string body;
    std::string contentType = "text/html; charset=utf-8";
    // Complete header lines, each ending in "\r\n". Pages are not cacheable unless
    // these say otherwise.
    std::string extraHeaders;
    // With a Location header among extraHeaders, 302 makes a redirect.
    int status = 200;
  };

  PageServer();

  void add(const std::string& path, Page page);
  void addHtml(const std::string& path, std::string html);
  std::string url(const std::string& path) const { return server_.baseUrl() + path; }
  std::string origin() const { return server_.baseUrl(); }
  uint16_t port() const { return server_.port(); }
  // Requests for path, whatever their query.
  size_t requestsFor(const std::string& path) const;

 private:
  // Shared with the handler threads, which may outlive a request in flight.
  struct Pages {
    std::mutex mutex;
    std::map<std::string, Page> byPath;  // mutex
  };

  static void serve(Pages& pages, LoopbackConnection& connection);

  std::shared_ptr<Pages> pages_;
  LoopbackServer server_;
};

}  // namespace tovarin
