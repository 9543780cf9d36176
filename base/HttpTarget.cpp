#include "base/HttpTarget.h"

#include <charconv>

namespace tovarin {
namespace {

bool isVisibleAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c >= 0x7f) return false;
  }
  return true;
}

bool isTokenChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::optional<int> parsePort(std::string_view text) {
  int port = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
    return std::nullopt;
  }
  return port;
}

}  // namespace

std::optional<HttpTarget> HttpTarget::parse(std::string_view url) {
  constexpr std::string_view scheme = "http://";
  if (url.substr(0, scheme.size()) != scheme) return std::nullopt;
  std::string_view rest = url.substr(scheme.size());
  if (!isVisibleAscii(rest)) return std::nullopt;
  rest = rest.substr(0, rest.find('#'));
  const size_t pathStart = rest.find_first_of("/?");
  const std::string_view authority = rest.substr(0, pathStart);
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;

  HttpTarget target;
  std::string_view afterHost;
  if (authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || close == 1) return std::nullopt;
    target.host = std::string(authority.substr(1, close - 1));
    afterHost = authority.substr(close + 1);
  } else {
    const size_t colon = authority.find(':');
    target.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) afterHost = authority.substr(colon);
  }
  if (target.host.empty()) return std::nullopt;
  int port = 80;
  if (!afterHost.empty()) {
    if (afterHost.front() != ':') return std::nullopt;
    auto parsed = parsePort(afterHost.substr(1));
    if (!parsed) return std::nullopt;
    port = *parsed;
  }
  target.port = std::to_string(port);
  const std::string_view path = pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
  // A query straight after the authority still needs the root path before it.
  target.path = (path.empty() || path.front() != '/' ? "/" : "") + std::string(path);
  target.hostHeader = std::string(authority);
  return target;
}

bool HttpTarget::isSafeHeader(std::string_view name, std::string_view value) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (!isTokenChar(c)) return false;
  }
  for (unsigned char c : value) {
    if (c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

}  // namespace tovarin
