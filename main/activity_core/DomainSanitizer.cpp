#include "main/activity_core/DomainSanitizer.h"

#include <string_view>

#include "base/Text.h"

namespace tovarin::DomainSanitizer {

namespace {

constexpr std::size_t maxHostBytes = 253;

bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool isHostCharacter(char c) { return (c >= 'a' && c <= 'z') || isAsciiDigit(c) || c == '.' || c == '-'; }

// Characters a URL may hold unescaped: unreserved, reserved and '%'.
bool isUrlCharacter(char c) {
  if (isAsciiAlpha(c) || isAsciiDigit(c)) return true;
  return std::string_view("-._~:/?#[]@!$&'()*+,;=%").find(c) != std::string_view::npos;
}

struct ParsedUrl {
  std::string scheme;
  std::optional<std::string> host;
};

// A small reading of the URL grammar: scheme ":" ["//" authority] rest. A scheme or an
// authority with a character a URL cannot hold unescaped does not parse. The rest
// may hold any (browsers show paths and queries unescaped), so that a sensitive site
// is still known by its host whatever its path.
std::optional<ParsedUrl> parseUrl(std::string_view text) {
  const std::size_t authorityStart = text.find("//");
  const std::size_t restStart =
      authorityStart == std::string_view::npos ? 0 : text.find_first_of("/?#", authorityStart + 2);
  for (char c : text.substr(0, restStart)) {
    if (!isUrlCharacter(c)) return std::nullopt;
  }
  ParsedUrl parsed;
  std::size_t colon = text.find(':');
  bool hasScheme = colon != std::string_view::npos && colon > 0 && isAsciiAlpha(text[0]);
  for (std::size_t i = 1; hasScheme && i < colon; ++i) {
    char c = text[i];
    if (!isAsciiAlpha(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') hasScheme = false;
  }
  std::string_view rest = text;
  if (hasScheme) {
    parsed.scheme = std::string(text.substr(0, colon));
    rest = text.substr(colon + 1);
  }
  if (rest.substr(0, 2) != "//") return parsed;
  std::string_view authority = rest.substr(2);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
  std::string_view host;
  if (!authority.empty() && authority.front() == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return std::nullopt;
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  std::string_view port = authority.substr(host.size());
  if (!port.empty()) {
    for (char c : port.substr(1)) {
      if (!isAsciiDigit(c)) return std::nullopt;
    }
  }
  if (!host.empty()) parsed.host = std::string(host);
  return parsed;
}

}  // namespace

std::optional<std::string> clean(const std::optional<std::string>& host) {
  if (!host) return std::nullopt;
  std::string value = text::lowercased(text::trimBlanks(*host));
  if (value.empty()) return std::nullopt;
  if (value.back() == '.') value.pop_back();
  if (value.starts_with("www.")) value.erase(0, 4);
  if (value.empty() || value.size() > maxHostBytes) return std::nullopt;
  for (char c : value) {
    if (!isHostCharacter(c)) return std::nullopt;
  }
  return value;
}

std::optional<std::string> host(const std::optional<std::string>& url) {
  if (!url) return std::nullopt;
  auto parsed = parseUrl(text::trimBlanks(*url));
  if (!parsed || parsed->scheme.empty()) return std::nullopt;
  std::string scheme = text::lowercased(parsed->scheme);
  if (scheme != "http" && scheme != "https") return std::nullopt;
  return clean(parsed->host);
}

}  // namespace tovarin::DomainSanitizer
