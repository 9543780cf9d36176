#include "main/page/LocalServer.h"

#include "base/Text.h"
#include "base/UrlComponents.h"
#include "main/config/LocalServerOrigin.h"

namespace tovarin {
namespace {

bool isServerAddress(const UrlComponents& parts, int64_t port) {
  return parts.scheme == localServerScheme && parts.host == localServerHost && parts.port == port;
}

}  // namespace

LocalServer::LocalServer(int64_t port)
    : port_(port), origin_(localServerOrigin(port)) {}

bool LocalServer::serves(std::string_view url) const {
  const auto parts = UrlComponents::parse(url);
  return parts && isServerAddress(*parts, port_);
}

bool LocalServer::isBareMainPage(std::string_view url) const {
  const auto parts = UrlComponents::parse(url);
  if (!parts || !parts->scheme || text::lowercased(*parts->scheme) != localServerScheme) return false;
  return parts->host == localServerHost && parts->port == port_ && !parts->user && !parts->password &&
         parts->path == "/index.html" && !parts->query && !parts->fragment;
}

bool LocalServer::isServer(std::string_view candidateHost, int64_t candidatePort) const {
  return candidateHost == localServerHost && candidatePort == port_;
}

bool LocalServer::isOriginOf(const MessageSource& source) const {
  return source.known && source.securityOrigin == origin_;
}

bool LocalServer::isMainFrameOf(const MessageSource& source) const {
  return source.trustedMainFrame() && source.securityOrigin == origin_ && serves(source.frameUrl);
}

bool LocalServer::vouchesFor(const MessageSource& source) const {
  if (!source.known) return false;
  if (source.securityOrigin.empty()) return true;
  // An opaque origin is a sandboxed or data: frame, whatever content it shows.
  if (source.securityOrigin == "null") return false;
  const auto origin = UrlComponents::parse(source.securityOrigin);
  if (!origin || !origin->scheme) return false;
  if (*origin->scheme == "about") return true;
  return isServerAddress(*origin, port_);
}

}  // namespace tovarin
