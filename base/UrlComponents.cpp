#include "base/UrlComponents.h"

namespace tovarin {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}

// Every character is unreserved, a sub-delimiter, one of `extra`, or part of a whole
// percent escape.
bool isEncodedRun(std::string_view text, std::string_view extra) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      if (!isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
      continue;
    }
    if (isUnreserved(c) || isSubDelim(c) || extra.find(c) != std::string_view::npos) continue;
    return false;
  }
  return true;
}

std::optional<size_t> schemeLength(std::string_view text) {
  if (text.empty() || !isAlpha(text[0])) return std::nullopt;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    if (!(isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.')) return std::nullopt;
  }
  return std::nullopt;
}

bool isValidHost(std::string_view host) {
  if (!host.empty() && host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    for (char c : host.substr(1, host.size() - 2)) {
      if (!(isHex(c) || c == ':' || c == '.' || c == 'v' || c == 'V' || isUnreserved(c) || isSubDelim(c))) return false;
    }
    return true;
  }
  return isEncodedRun(host, "");
}

std::optional<int64_t> parsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

bool parseAuthority(std::string_view authority, UrlComponents& out) {
  const size_t at = authority.rfind('@');
  std::string_view hostPort = authority;
  if (at != std::string_view::npos) {
    const std::string_view userInfo = authority.substr(0, at);
    if (!isEncodedRun(userInfo, ":")) return false;
    const size_t colon = userInfo.find(':');
    out.user = std::string(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) out.password = std::string(userInfo.substr(colon + 1));
    hostPort = authority.substr(at + 1);
  }
  // The port follows the last colon that is not inside an IP literal.
  const size_t bracket = hostPort.rfind(']');
  const size_t colon = hostPort.rfind(':');
  std::string_view host = hostPort;
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = hostPort.substr(0, colon);
    const std::string_view portText = hostPort.substr(colon + 1);
    if (!portText.empty()) {
      const auto port = parsePort(portText);
      if (!port) return false;
      out.port = port;
    }
  }
  if (!isValidHost(host)) return false;
  out.host = std::string(host);
  return true;
}

}  // namespace

std::optional<UrlComponents> UrlComponents::parse(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f) return std::nullopt;
  }
  UrlComponents out;
  std::string_view rest = text;

  const size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    const std::string_view fragment = rest.substr(hash + 1);
    if (!isEncodedRun(fragment, ":@/?")) return std::nullopt;
    out.fragment = std::string(fragment);
    rest = rest.substr(0, hash);
  }
  const size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    const std::string_view query = rest.substr(question + 1);
    if (!isEncodedRun(query, ":@/?")) return std::nullopt;
    out.query = std::string(query);
    rest = rest.substr(0, question);
  }
  if (const auto length = schemeLength(rest)) {
    out.scheme = std::string(rest.substr(0, *length));
    rest = rest.substr(*length + 1);
  }
  if (rest.substr(0, 2) == "//") {
    rest = rest.substr(2);
    const size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    if (!parseAuthority(authority, out)) return std::nullopt;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  } else if (!out.scheme) {
    // A relative path may not carry a colon in its first segment (it would read as a scheme).
    const std::string_view firstSegment = rest.substr(0, rest.find('/'));
    if (firstSegment.find(':') != std::string_view::npos) return std::nullopt;
  }
  if (!isEncodedRun(rest, ":@/")) return std::nullopt;
  out.path = std::string(rest);
  return out;
}

}  // namespace tovarin
