#include "main/windows/FrameNavigation.h"

#include "base/Log.h"
#include "base/UrlComponents.h"
#include "main/windows/StickyNavigation.h"

namespace tovarin::FrameNavigation {

bool mayLoadInFrame(std::string_view url) {
  const auto parsed = UrlComponents::parse(url);
  if (!parsed || !parsed->scheme) return false;
  std::string scheme = *parsed->scheme;
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return scheme == "http" || scheme == "https" || scheme == "about" || scheme == "data" || scheme == "blob";
}

bool isServerOutage(std::string_view failingUrl, int64_t port) {
  if (failingUrl.empty() || StickyNavigation::isLocalServer(failingUrl, port)) return true;
  log("load failure outside the local server, no recovery: " + std::string(failingUrl));
  return false;
}

}  // namespace tovarin::FrameNavigation
