#include "base/HttpTarget.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(HttpTargetTest, TakesApartWhatTheClientsSend) {
  struct Case {
    const char* url;
    const char* host;
    const char* port;
    const char* path;
    const char* hostHeader;
  } cases[] = {
      {"http://127.0.0.1:4173/api/stream", "127.0.0.1", "4173", "/api/stream", "127.0.0.1:4173"},
      {"http://localhost", "localhost", "80", "/", "localhost"},
      {"http://[::1]:8080/health?x=1", "::1", "8080", "/health?x=1", "[::1]:8080"},
      {"http://[::1]", "::1", "80", "/", "[::1]"},
      {"http://example.test?q=1", "example.test", "80", "/?q=1", "example.test"},
      {"http://h:1/p#fragment", "h", "1", "/p", "h:1"},
      {"http://h:65535#only", "h", "65535", "/", "h:65535"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    auto target = HttpTarget::parse(c.url);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, c.host);
    EXPECT_EQ(target->port, c.port);
    EXPECT_EQ(target->path, c.path);
    EXPECT_EQ(target->hostHeader, c.hostHeader);
  }
}

TEST(HttpTargetTest, RefusesWhatCouldNotBeSentSafely) {
  const char* urls[] = {
      "https://h/",     "HTTP://h/",       "http://",          "http://:80/",       "http://h:/",
      "http://h:0/",    "http://h:65536/", "http://h:+80/",    "http://h:8a/",      "http://u@h/",
      "http://[::1/",   "http://[]/",      "http://[::1]x/",   "http://h/a b",      "http://h/\r\nX: 1",
      "http://h/\x7f",  "http://h/caf\xc3\xa9",
  };
  for (const char* url : urls) {
    EXPECT_FALSE(HttpTarget::parse(url)) << url;
  }
}

TEST(HttpTargetTest, HeadersMustBeTokensWithSingleLineValues) {
  EXPECT_TRUE(HttpTarget::isSafeHeader("X-Orvik-Token", "a b; c=\"d\""));
  EXPECT_TRUE(HttpTarget::isSafeHeader("accept", ""));
  EXPECT_FALSE(HttpTarget::isSafeHeader("", "x"));
  EXPECT_FALSE(HttpTarget::isSafeHeader("bad name", "x"));
  EXPECT_FALSE(HttpTarget::isSafeHeader("x:y", "x"));
  EXPECT_FALSE(HttpTarget::isSafeHeader("x", "a\r\nInjected: 1"));
  EXPECT_FALSE(HttpTarget::isSafeHeader("x", "a\nb"));
  EXPECT_FALSE(HttpTarget::isSafeHeader("x", std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace tovarin
