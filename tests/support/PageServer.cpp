#include "tests/support/PageServer.h"

#include <utility>

namespace tovarin {
namespace {

std::string withoutQuery(const std::string& target) { return target.substr(0, target.find('?')); }

}  // namespace

PageServer::PageServer()
    : pages_(std::make_shared<Pages>()),
      server_([pages = pages_](LoopbackConnection& connection) { serve(*pages, connection); }) {}

void PageServer::add(const std::string& path, Page page) {
  std::lock_guard lock(pages_->mutex);
  pages_->byPath[path] = std::move(page);
}

void PageServer::addHtml(const std::string& path, std::string html) {
  Page page;
  page.body = std::move(html);
  add(path, std::move(page));
}

size_t PageServer::requestsFor(const std::string& path) const {
  size_t count = 0;
  for (const auto& request : server_.requests())
    if (withoutQuery(request.target) == path) ++count;
  return count;
}

void PageServer::serve(Pages& pages, LoopbackConnection& connection) {
  auto request = connection.readRequest();
  if (!request) return;
  std::string path = withoutQuery(request->target);
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
  const std::string statusLine = page.status == 200 ? "200 OK" : std::to_string(page.status) + " Moved";
  std::string response = "HTTP/1.1 " + statusLine + "\r\nContent-Type: " + page.contentType + "\r\n" + page.extraHeaders +
                         (page.extraHeaders.find("Cache-Control") == std::string::npos ? "Cache-Control: no-store\r\n" : "") +
                         "Content-Length: " + std::to_string(page.body.size()) + "\r\nConnection: close\r\n\r\n" +
                         page.body;
  connection.write(response);
  connection.close();
}

}  // namespace tovarin
