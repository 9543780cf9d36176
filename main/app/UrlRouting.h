#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovarin {

// The routing of the application's own URLs ("the-tovarin://tasks"), as pure rules.
// The delegate shows the main window for every URL and then carries out the route.
namespace UrlRouting {

struct Route {
  bool openConversation = false;
  std::vector<std::string> pageCommands;  // run in this order
  bool operator==(const Route&) const = default;
};

// The authority's host of an absolute URL ("scheme://[user@]host[:port]/..."), without
// user and port; nullopt when the URL has no authority or an empty host.
[[nodiscard]] std::optional<std::string> host(std::string_view url);

// What a host asks for, compared exactly and case-sensitively; the scheme is not
// looked at. Unknown hosts, or none, route to nothing beyond showing the main window.
[[nodiscard]] Route routeFor(const std::optional<std::string>& host);

// "open url host=tasks", or "open url host=-" without a host.
[[nodiscard]] std::string logLine(const std::optional<std::string>& host);

}  // namespace UrlRouting
}  // namespace tovarin
