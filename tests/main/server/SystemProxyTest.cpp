#include "main/server/SystemProxy.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using Environment = std::map<std::string, std::string>;

TEST(SystemProxyTest, SettingsTextBecomesATable) {
  const std::string text =
      "<dictionary> {\n"
      "  HTTPEnable : 1\n"
      "\n"
      "  HTTPProxy :  10.0.0.2 \t\n"
      "  ExceptionsList : <array> {\n"
      "  ProxyAutoConfigURLString : http://wpad/x.pac:80\n"
      ":Leading : colon\n"
      "::Twice:value\n"
      "Double::colon\n"
      "NoValue:\n"
      "Spaces:   \n"
      "no colon at all\n"
      "HTTPPort : 8080\r\n"
      "HTTPPort : 8081\n"
      "}\n";
  const ProxySettingsTable expected = {
      {"HTTPEnable", "1"},
      {"HTTPProxy", "10.0.0.2"},
      {"ExceptionsList", "<array> {"},
      {"ProxyAutoConfigURLString", "http://wpad/x.pac:80"},
      {"Leading", "colon"},
      {"Twice", "value"},
      {"Double", ":colon"},
      {"Spaces", ""},
      {"HTTPPort", "8081"},
  };
  EXPECT_EQ(SystemProxy::parseSettingsText(text), expected);
}

TEST(SystemProxyTest, ProxyAddressRules) {
  struct Case {
    const char* name;
    ProxySettingsTable table;
    Environment expected;
  };
  const Case cases[] = {
      {"http on", {{"HTTPEnable", "1"}, {"HTTPProxy", "10.0.0.2"}, {"HTTPPort", "8080"}},
       {{"HTTP_PROXY", "http://10.0.0.2:8080"}}},
      {"http off", {{"HTTPEnable", "0"}, {"HTTPProxy", "10.0.0.2"}, {"HTTPPort", "8080"}}, {}},
      {"enable not exactly 1", {{"HTTPEnable", "01"}, {"HTTPProxy", "h"}, {"HTTPPort", "8080"}}, {}},
      {"https IPv6 host wrapped", {{"HTTPSEnable", "1"}, {"HTTPSProxy", "fe80::1"}, {"HTTPSPort", "3128"}},
       {{"HTTPS_PROXY", "http://[fe80::1]:3128"}}},
      {"bracketed host kept", {{"HTTPSEnable", "1"}, {"HTTPSProxy", "[fe80::1]"}, {"HTTPSPort", "3128"}},
       {{"HTTPS_PROXY", "http://[fe80::1]:3128"}}},
      {"both", {{"HTTPEnable", "1"}, {"HTTPProxy", "a.lan"}, {"HTTPPort", "80"},
                {"HTTPSEnable", "1"}, {"HTTPSProxy", "b.lan"}, {"HTTPSPort", "443"}},
       {{"HTTP_PROXY", "http://a.lan:80"}, {"HTTPS_PROXY", "http://b.lan:443"}}},
      {"port 0", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "0"}}, {}},
      {"port 65536", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "65536"}}, {}},
      {"port 65535", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "65535"}}, {{"HTTP_PROXY", "http://h:65535"}}},
      {"port 80a", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "80a"}}, {}},
      {"port empty", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", ""}}, {}},
      {"port sign only", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "+"}}, {}},
      {"port plus", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "+8080"}}, {{"HTTP_PROXY", "http://h:8080"}}},
      {"port leading zero", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "0080"}}, {{"HTTP_PROXY", "http://h:80"}}},
      {"port negative", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "-8080"}}, {}},
      {"port overflowing", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}, {"HTTPPort", "99999999999999999999"}}, {}},
      {"port missing", {{"HTTPEnable", "1"}, {"HTTPProxy", "h"}}, {}},
      {"host missing", {{"HTTPEnable", "1"}, {"HTTPPort", "8080"}}, {}},
      {"host blank", {{"HTTPEnable", "1"}, {"HTTPProxy", " \t"}, {"HTTPPort", "8080"}}, {}},
      {"host with @", {{"HTTPEnable", "1"}, {"HTTPProxy", "user@h"}, {"HTTPPort", "8080"}}, {}},
      {"host with /", {{"HTTPEnable", "1"}, {"HTTPProxy", "h/x"}, {"HTTPPort", "8080"}}, {}},
      {"host with #", {{"HTTPEnable", "1"}, {"HTTPProxy", "h#x"}, {"HTTPPort", "8080"}}, {}},
      {"host with ?", {{"HTTPEnable", "1"}, {"HTTPProxy", "h?x"}, {"HTTPPort", "8080"}}, {}},
      {"host with inner space", {{"HTTPEnable", "1"}, {"HTTPProxy", "a b"}, {"HTTPPort", "8080"}}, {}},
      {"host with ideographic space", {{"HTTPEnable", "1"}, {"HTTPProxy", "a\u3000b"}, {"HTTPPort", "8080"}}, {}},
      {"host trimmed", {{"HTTPEnable", "1"}, {"HTTPProxy", " h.lan\t"}, {"HTTPPort", "8080"}}, {{"HTTP_PROXY", "http://h.lan:8080"}}},
      {"host trimmed of any white space", {{"HTTPEnable", "1"}, {"HTTPProxy", "\u2028h.lan\u00A0\v"}, {"HTTPPort", "8080"}},
       {{"HTTP_PROXY", "http://h.lan:8080"}}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(SystemProxy::environmentFromTable(testCase.table), testCase.expected);
  }
}

TEST(SystemProxyTest, SettingsTextRunsThroughToTheEnvironment) {
  EXPECT_EQ(SystemProxy::environmentFromTable(SystemProxy::parseSettingsText(
                "  HTTPEnable : 1\n  HTTPProxy : 10.0.0.2\n  HTTPPort : 8080\n  HTTPSEnable : 0\n")),
            (Environment{{"HTTP_PROXY", "http://10.0.0.2:8080"}}));
}

TEST(SystemProxyTest, GnomeSettingsFeedTheSameRules) {
  const std::string manual =
      "org.gnome.system.proxy autoconfig-url ''\n"
      "org.gnome.system.proxy ignore-hosts ['localhost', '127.0.0.0/8', '::1']\n"
      "org.gnome.system.proxy mode 'manual'\n"
      "org.gnome.system.proxy.http enabled false\n"
      "org.gnome.system.proxy.http host 'proxy.corp.lan'\n"
      "org.gnome.system.proxy.http port 3128\n"
      "org.gnome.system.proxy.https host 'fe80::2'\n"
      "org.gnome.system.proxy.https port 8443\n"
      "org.gnome.system.proxy.socks host 'socks.lan'\n"
      "org.gnome.system.proxy.socks port 1080\n";
  struct Case {
    const char* name;
    std::string text;
    Environment expected;
  };
  const Case cases[] = {
      {"manual", manual,
       {{"HTTP_PROXY", "http://proxy.corp.lan:3128"}, {"HTTPS_PROXY", "http://[fe80::2]:8443"}}},
      {"mode none", "org.gnome.system.proxy mode 'none'\norg.gnome.system.proxy.http host 'p'\n"
                    "org.gnome.system.proxy.http port 3128\n", {}},
      {"mode auto", "org.gnome.system.proxy mode 'auto'\norg.gnome.system.proxy.http host 'p'\n"
                    "org.gnome.system.proxy.http port 3128\n", {}},
      {"manual with empty https host", "org.gnome.system.proxy mode 'manual'\norg.gnome.system.proxy.http host 'p'\n"
                                       "org.gnome.system.proxy.http port 3128\norg.gnome.system.proxy.https host ''\n"
                                       "org.gnome.system.proxy.https port 0\n",
       {{"HTTP_PROXY", "http://p:3128"}}},
      {"quoted host with an escape", "org.gnome.system.proxy mode 'manual'\norg.gnome.system.proxy.http host 'a\\'b'\n"
                                     "org.gnome.system.proxy.http port 3128\n",
       {{"HTTP_PROXY", "http://a'b:3128"}}},
      {"nothing listed", "", {}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(SystemProxy::environmentFromTable(SystemProxy::tableFromGSettings(testCase.text)), testCase.expected);
  }
}

}  // namespace
}  // namespace tovarin
