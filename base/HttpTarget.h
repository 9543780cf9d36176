#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// Where a plain-HTTP request goes, taken apart for the resolver and the request head.
// Only "http://host[:port][/path][?query]" parses: a name, an IPv4 address or a
// bracketed IPv6 address, port 1 to 65535. Other schemes, user info, spaces and control
// characters are refused, so that nothing from a URL can leak into the request head.
struct HttpTarget {
  std::string host;        // without brackets, as the resolver wants it
  std::string port;        // decimal, 80 when the URL has none
  std::string path;        // with its query, never empty, no fragment
  std::string hostHeader;  // the authority as written

  static std::optional<HttpTarget> parse(std::string_view url);

  // A header fit for the request head: a token name, a value with no line break or NUL.
  static bool isSafeHeader(std::string_view name, std::string_view value);
};

}  // namespace tovarin
