#include "main/windows/StickyNavigation.h"

#include <algorithm>
#include <cctype>

#include "base/UrlComponents.h"
#include "main/page/LocalServer.h"

namespace tovarin::StickyNavigation {

namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isBareMainPage(const UrlComponents& parts, int64_t port) {
  return parts.host && parts.port && LocalServer(port).isServer(*parts.host, *parts.port) && !parts.user &&
         !parts.password && parts.path == "/index.html" && !parts.query && !parts.fragment;
}

}  // namespace

void open(std::string_view url, int64_t port, const std::function<void()>& showMain,
          const std::function<void(const std::string&)>& openExternal) {
  const auto parts = UrlComponents::parse(url);
  if (!parts || !parts->scheme) return;
  const std::string scheme = lowered(*parts->scheme);
  if (scheme == "http" && isBareMainPage(*parts, port)) {
    if (showMain) showMain();
    return;
  }
  if (scheme == "http" || scheme == "https") {
    if (openExternal) openExternal(std::string(url));
  }
}

bool isWebAddress(std::string_view url) {
  const auto parts = UrlComponents::parse(url);
  if (!parts || !parts->scheme) return false;
  const std::string scheme = lowered(*parts->scheme);
  return scheme == "http" || scheme == "https";
}

}  // namespace tovarin::StickyNavigation
