#include "main/windows/StickyNavigation.h"

#include "base/Text.h"
#include "base/UrlComponents.h"

namespace tovarin::StickyNavigation {

namespace {

bool isBareMainPage(const UrlComponents& parts, int64_t port) {
  return parts.host == "127.0.0.1" && parts.port == port && !parts.user && !parts.password &&
         parts.path == "/index.html" && !parts.query && !parts.fragment;
}

}  // namespace

void open(std::string_view url, int64_t port, const std::function<void()>& showMain,
          const std::function<void(const std::string&)>& openExternal) {
  const auto parts = UrlComponents::parse(url);
  if (!parts || !parts->scheme) return;
  const std::string scheme = text::asciiLowercased(*parts->scheme);
  if (scheme == "http" && isBareMainPage(*parts, port)) {
    if (showMain) showMain();
    return;
  }
  if (scheme == "http" || scheme == "https") {
    if (openExternal) openExternal(std::string(url));
  }
}

bool isLocalServer(std::string_view url, int64_t port) {
  const auto parts = UrlComponents::parse(url);
  return parts && parts->scheme == "http" && parts->host == "127.0.0.1" && parts->port == port;
}

bool isWebAddress(std::string_view url) {
  const auto parts = UrlComponents::parse(url);
  if (!parts || !parts->scheme) return false;
  const std::string scheme = text::asciiLowercased(*parts->scheme);
  return scheme == "http" || scheme == "https";
}

}  // namespace tovarin::StickyNavigation
