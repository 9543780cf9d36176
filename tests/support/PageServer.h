#pragma once

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
  };

  PageServer()
      : pages_(std::make_shared<Pages>()),
        server_([pages = pages_](LoopbackConnection& connection) { serve(*pages, connection); }) {}

  void add(const std::string& path, Page page) {
    std::lock_guard lock(pages_->mutex);
    pages_->byPath[path] = std::move(page);
  }
  void addHtml(const std::string& path, std::string html) {
    Page page;
    page.body = std::move(html);
    add(path, std::move(page));
  }
  std::string url(const std::string& path) const { return server_.baseUrl() + path; }
  std::string origin() const { return server_.baseUrl(); }
  uint16_t port() const { return server_.port(); }
  size_t requestsFor(const std::string& path) const {
    size_t count = 0;
    for (const auto& request : server_.requests())
      if (request.target.substr(0, request.target.find('?')) == path) ++count;
    return count;
  }

 private:
  struct Pages {
    std::mutex mutex;
    std::map<std::string, Page> byPath;
  };

  static void serve(Pages& pages, LoopbackConnection& connection) {
    auto request = connection.readRequest();
    if (!request) return;
    std::string path = request->target.substr(0, request->target.find('?'));
    Page page;
    bool found = false;
    {
      std::lock_guard lock(pages.mutex);
      auto it = pages.byPath.find(path);
      if (it != pages.byPath.end()) {
        page = it->second;
        found = true;
      }
    }
    if (!found) {
      connection.respond(404, "not here", "text/plain");
      return;
    }
    std::string response = "HTTP/1.1 200 OK\r\nContent-Type: " + page.contentType + "\r\n" + page.extraHeaders +
                           (page.extraHeaders.find("Cache-Control") == std::string::npos ? "Cache-Control: no-store\r\n" : "") +
                           "Content-Length: " + std::to_string(page.body.size()) + "\r\nConnection: close\r\n\r\n" +
                           page.body;
    connection.write(response);
    connection.close();
  }

  std::shared_ptr<Pages> pages_;
  LoopbackServer server_;
};

}  // namespace tovarin
