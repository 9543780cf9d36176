#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "main/app/UrlRouting.h"

namespace tovarin {
namespace {

TEST(UrlRoutingTest, HostOfUrls) {
  struct Case {
    std::string url;
    std::optional<std::string> host;
  };
  const std::vector<Case> cases = {
      {"the-tovarin://tasks", "tasks"},
      {"the-tovarin://agenda/", "agenda"},
      {"the-tovarin://today?date=2026-01-02", "today"},
      {"the-tovarin://chat#x", "chat"},
      {"the-tovarin://user:pw@quickadd:99/path", "quickadd"},
      {"THE-TOVARIN://Tasks", "Tasks"},
      {"other+scheme.1://open", "open"},
      {"the-tovarin://[::1]:80/", "::1"},
      {"the-tovarin:tasks", std::nullopt},
      {"the-tovarin:///tasks", std::nullopt},
      {"the-tovarin://", std::nullopt},
      {"the-tovarin://:80", std::nullopt},
      {"the-tovarin://[::1", std::nullopt},
      {"tasks", std::nullopt},
      {"://tasks", std::nullopt},
      {"1x://tasks", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlRouting::host(c.url), c.host) << c.url;
  }
}

TEST(UrlRoutingTest, RoutesByExactHost) {
  using Route = UrlRouting::Route;
  struct Case {
    std::optional<std::string> host;
    Route route;
  };
  const std::vector<Case> cases = {
      {"chat", Route{true, {}}},
      {"quickadd", Route{false, {"quickadd.open"}}},
      {"tasks", Route{false, {"view.tasks"}}},
      {"agenda", Route{false, {"view.agenda", "nav.today"}}},
      {"today", Route{false, {"view.agenda", "nav.today"}}},
      {"open", Route{}},
      {"Tasks", Route{}},
      {"tasks ", Route{}},
      {"", Route{}},
      {std::nullopt, Route{}},
  };
  for (const auto& c : cases) {
    const auto route = UrlRouting::routeFor(c.host);
    EXPECT_EQ(route.openConversation, c.route.openConversation) << c.host.value_or("(none)");
    EXPECT_EQ(route.pageCommands, c.route.pageCommands) << c.host.value_or("(none)");
  }
}

TEST(UrlRoutingTest, LogLineNamesHostOrDash) {
  EXPECT_EQ(UrlRouting::logLine(std::string("open")), "open url host=open");
  EXPECT_EQ(UrlRouting::logLine(std::nullopt), "open url host=-");
}

}  // namespace
}  // namespace tovarin
