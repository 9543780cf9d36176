#include "main/page/FrameNavigation.h"

#include "base/Log.h"
#include "base/UrlComponents.h"

namespace tovarin::FrameNavigation {

bool mayLoadInFrame(std::string_view url) {
  const auto parsed = UrlComponents::parse(url);
  if (!parsed || !parsed->scheme) return false;
  std::string scheme = *parsed->scheme;
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return scheme == "http" || scheme == "https" || scheme == "about" || scheme == "data" || scheme == "blob";
}

bool isServerOutage(std::string_view failingUrl, const LocalServer& server) {
  if (failingUrl.empty() || server.serves(failingUrl)) return true;
  log("load failure outside the local server, no recovery: " + std::string(failingUrl));
  return false;
}

bool stillShowsPage(std::string_view url, const LocalServer& server, std::string_view page, bool wasShown) {
  if (!server.serves(url)) return false;
  return wasShown || url.find(page) != std::string_view::npos;
}

}  // namespace tovarin::FrameNavigation
