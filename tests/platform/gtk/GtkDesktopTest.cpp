#include "platform/gtk/GtkDesktop.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(GtkDesktopTest, OnlyWebAddressesGoToTheBrowser) {
  struct Case {
    const char* url;
    bool opens;
  };
  const Case cases[] = {
      {"http://example.com/page", true},
      {"https://example.com/a?b=c#d", true},
      {"HTTPS://EXAMPLE.COM/", true},
      {"http://127.0.0.1:4173/index.html", true},
      {"file:///etc/passwd", false},
      {"the-tovarin://open", false},
      {"mailto:someone@example.com", false},
      {"javascript:alert(1)", false},
      {"data:text/html,<p>x</p>", false},
      {"ftp://example.com/file", false},
      {"http:///no-host", false},
      {"https:", false},
      {"example.com", false},
      {"", false},
      {" http://example.com", false},
  };
  for (const auto& c : cases) EXPECT_EQ(GtkDesktop::isBrowserAddress(c.url), c.opens) << c.url;
}

}  // namespace
}  // namespace tovarin
