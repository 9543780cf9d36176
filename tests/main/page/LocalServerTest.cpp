#include "main/page/LocalServer.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(LocalServerTest, TheOriginIsSpelledAsTheServersFramesReportIt) {
  EXPECT_EQ(LocalServer(4173).origin(), "http://127.0.0.1:4173");
  EXPECT_EQ(LocalServer(5000).origin(), "http://127.0.0.1:5000");
}

TEST(LocalServerTest, AnAddressIsOnTheServerOnlyWithExactSchemeHostAndPort) {
  struct Row {
    std::string url;
    bool local;
  };
  const Row rows[] = {
      {"http://127.0.0.1:4173/widget.html", true},
      {"http://127.0.0.1:4173/anything?x=1#y", true},
      {"HTTP://127.0.0.1:4173/widget.html", false},
      {"https://127.0.0.1:4173/widget.html", false},
      {"http://localhost:4173/widget.html", false},
      {"http://127.0.0.1:4174/widget.html", false},
      {"http://127.0.0.1/widget.html", false},
      {"about:blank", false},
      {"not a url", false},
  };
  for (const Row& row : rows) EXPECT_EQ(LocalServer(4173).serves(row.url), row.local) << row.url;
}

TEST(LocalServerTest, AuthenticationIsForTheServersHostAndPortOnly) {
  const LocalServer server(4173);
  EXPECT_TRUE(server.isServer("127.0.0.1", 4173));
  EXPECT_FALSE(server.isServer("127.0.0.1", 4174));
  EXPECT_FALSE(server.isServer("localhost", 4173));
  EXPECT_FALSE(server.isServer("evil.example", 4173));
}

// Which frames count as the server's: any frame of its origin, or only the page itself.
TEST(LocalServerTest, FramesOfTheOriginAndThePageItself) {
  struct Case {
    const char* name;
    MessageSource source;
    bool ofOrigin;
    bool mainFrame;
  };
  const Case cases[] = {
      {"the page", {true, true, "http://127.0.0.1:4173/widget.html", "http://127.0.0.1:4173"}, true, true},
      {"a frame of the page's origin", {true, false, "http://127.0.0.1:4173/f.html", "http://127.0.0.1:4173"}, true, false},
      {"facts unknown", {false, true, "http://127.0.0.1:4173/index.html", "http://127.0.0.1:4173"}, false, false},
      {"another port", {true, true, "http://127.0.0.1:4174/index.html", "http://127.0.0.1:4174"}, false, false},
      {"localhost", {true, true, "http://localhost:4173/index.html", "http://localhost:4173"}, false, false},
      {"a sandboxed frame", {true, false, "http://127.0.0.1:4173/f.html", "null"}, false, false},
      {"an origin with a path", {true, true, "http://127.0.0.1:4173/index.html", "http://127.0.0.1:4173/"}, false,
       false},
      {"the origin, but a blank address", {true, true, "about:blank", "http://127.0.0.1:4173"}, true, false},
      {"no origin", {true, true, "http://127.0.0.1:4173/index.html", ""}, false, false},
  };
  const LocalServer server(4173);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(server.isOriginOf(c.source), c.ofOrigin);
    EXPECT_EQ(server.isMainFrameOf(c.source), c.mainFrame);
  }
}

}  // namespace
}  // namespace tovarin
