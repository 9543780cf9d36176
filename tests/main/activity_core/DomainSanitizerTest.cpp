#include "main/activity_core/DomainSanitizer.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using S = std::optional<std::string>;

TEST(DomainSanitizerTest, KeepsOnlyPlainLowerCaseHosts) {
  struct Case {
    S raw;
    S clean;
  } cases[] = {
      {S(" \tWWW.Example.COM. "), S("example.com")},
      {S("www."), S("www")},
      {S("www.www.example.com"), S("www.example.com")},
      {S("192.168.1.10"), S("192.168.1.10")},
      {S("a..b"), S("a..b")},
      {S("xn--bcher-kva.de"), S("xn--bcher-kva.de")},
      {S("example.com:8080"), S()},
      {S("under_score.com"), S()},
      {S("[::1]"), S()},
      {S("ex%41mple.com"), S()},
      {S("bücher.de"), S()},
      {S("example.com\n"), S()},
      {S("exa mple.com"), S()},
      {S("."), S()},
      {S(""), S()},
      {S("   "), S()},
      {S(), S()},
      {S(std::string(249, 'a') + ".com"), S(std::string(249, 'a') + ".com")},
      {S(std::string(250, 'a') + ".com"), S()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DomainSanitizer::clean(c.raw), c.clean) << c.raw.value_or("<absent>");
  }
}

TEST(DomainSanitizerTest, HostComesOnlyFromHttpUrls) {
  struct Case {
    S url;
    S host;
  } cases[] = {
      {S("HTTPS://www.Example.com/path?q=1#x"), S("example.com")},
      {S(" http://user:pw@Host.example.org:8443/x "), S("host.example.org")},
      {S("https://example.com#frag"), S("example.com")},
      {S("https://example.com?q=a@b"), S("example.com")},
      {S("https://Bank.example/搜索 账户?q=a|b"), S("bank.example")},
      {S("https://bank.example#第 2 页"), S("bank.example")},
      {S("ftp://example.com"), S()},
      {S("example.com/path"), S()},
      {S("javascript:alert(1)"), S()},
      {S("mailto:a@example.com"), S()},
      {S("https://"), S()},
      {S("https:example.com"), S()},
      {S("https://[::1]:80/"), S()},
      {S("https://exa mple.com"), S()},
      {S("https://bücher.de/"), S()},
      {S("https://example.com:abc/"), S()},
      {S(""), S()},
      {S(), S()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DomainSanitizer::host(c.url), c.host) << c.url.value_or("<absent>");
  }
}

}  // namespace
}  // namespace tovarin
