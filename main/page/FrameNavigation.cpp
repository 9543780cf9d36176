#include "main/page/FrameNavigation.h"

#include <optional>
#include <string>

#include "base/Log.h"
#include "base/Text.h"
#include "base/UrlComponents.h"

namespace tovarin::FrameNavigation {

namespace {

std::optional<std::string> lowercasedScheme(std::string_view url) {
  const auto parsed = UrlComponents::parse(url);
  if (!parsed || !parsed->scheme) return std::nullopt;
  return text::lowercased(*parsed->scheme);
}

}  // namespace

bool mayLoadInFrame(std::string_view url) {
  const auto scheme = lowercasedScheme(url);
  return scheme && (scheme == "http" || scheme == "https" || scheme == "about" || scheme == "data" || scheme == "blob");
}

bool isWebAddress(std::string_view url) {
  const auto scheme = lowercasedScheme(url);
  return scheme && (scheme == "http" || scheme == "https");
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
