#include "main/windows/FrameNavigation.h"

#include "base/Log.h"
#include "base/Text.h"
#include "base/UrlComponents.h"
#include "main/windows/StickyNavigation.h"

namespace tovarin::FrameNavigation {

bool mayLoadInFrame(std::string_view url) {
  const auto parsed = UrlComponents::parse(url);
  if (!parsed || !parsed->scheme) return false;
  const std::string scheme = text::asciiLowercased(*parsed->scheme);
  return scheme == "http" || scheme == "https" || scheme == "about" || scheme == "data" || scheme == "blob";
}

bool isServerOutage(std::string_view failingUrl, int64_t port) {
  if (failingUrl.empty() || StickyNavigation::isLocalServer(failingUrl, port)) return true;
  log("load failure outside the local server, no recovery: " + std::string(failingUrl));
  return false;
}

bool stillShowsPage(std::string_view url, int64_t port, std::string_view page, bool wasShown) {
  if (!StickyNavigation::isLocalServer(url, port)) return false;
  return wasShown || url.find(page) != std::string_view::npos;
}

}  // namespace tovarin::FrameNavigation
