#include "main/app/UrlRouting.h"

namespace tovarin::UrlRouting {
namespace {

bool isSchemeCharacter(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

std::optional<std::string> host(std::string_view url) {
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  for (size_t i = 0; i < colon; ++i) {
    if (!isSchemeCharacter(url[i], i == 0)) return std::nullopt;
  }
  std::string_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) != "//") return std::nullopt;
  rest.remove_prefix(2);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view name;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    name = authority.substr(1, close - 1);
  } else {
    name = authority.substr(0, authority.find(':'));
  }
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

Route routeFor(const std::optional<std::string>& host) {
  if (!host) return {};
  if (*host == "chat") return Route{true, {}};
  if (*host == "quickadd") return Route{false, {"quickadd.open"}};
  if (*host == "tasks") return Route{false, {"view.tasks"}};
  if (*host == "agenda" || *host == "today") return Route{false, {"view.agenda", "nav.today"}};
  return {};
}

std::string logLine(const std::optional<std::string>& host) {
  return "open url host=" + (host ? *host : std::string("-"));
}

}  // namespace tovarin::UrlRouting
