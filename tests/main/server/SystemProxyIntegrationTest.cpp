#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/ProcessEnvironment.h"
#include "main/server/SystemProxy.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

// Points gsettings (through the environment overlay the tools inherit) at a key file
// of our own, and puts the overlay back afterwards.
class GSettingsOverlay {
 public:
  explicit GSettingsOverlay(std::map<std::string, std::string> values) {
    auto& environment = ProcessEnvironment::shared();
    for (const auto& [name, value] : values) {
      saved_.emplace(name, environment.get(name));
      environment.set(name, value);
    }
  }
  ~GSettingsOverlay() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ProcessEnvironment::shared().set(name, *value);
      } else {
        ProcessEnvironment::shared().unset(name);
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

bool gnomeProxySchemaInstalled() {
  return fs::exists("/usr/bin/gsettings") &&
         fs::exists("/usr/share/glib-2.0/schemas/org.gnome.system.proxy.gschema.xml");
}

TEST(SystemProxyIntegrationTest, ReadsTheGnomeProxySettings) {
  if (!gnomeProxySchemaInstalled()) GTEST_SKIP() << "gsettings or the GNOME proxy schema is not installed";
  struct Case {
    const char* name;
    std::string keyfile;
    std::map<std::string, std::string> expected;
  };
  const Case cases[] = {
      {"manual",
       "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='proxy.lan'\nport=3128\n\n"
       "[system/proxy/https]\nhost='fe80::1'\nport=8443\n",
       {{"HTTP_PROXY", "http://proxy.lan:3128"}, {"HTTPS_PROXY", "http://[fe80::1]:8443"}}},
      {"manual without an https host", "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='p.lan'\nport=80\n",
       {{"HTTP_PROXY", "http://p.lan:80"}}},
      {"automatic", "[system/proxy]\nmode='auto'\n\n[system/proxy/http]\nhost='proxy.lan'\nport=3128\n", {}},
      {"defaults", "", {}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    TempDir config;
    fs::create_directories(fs::path(config.path()) / "glib-2.0" / "settings");
    std::ofstream(fs::path(config.path()) / "glib-2.0" / "settings" / "keyfile") << testCase.keyfile;
    GSettingsOverlay overlay({{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", config.path()}});
    EXPECT_EQ(systemProxyEnvironment(), testCase.expected);
  }
}

TEST(SystemProxyIntegrationTest, MissingSchemaGivesNothingWithoutFailing) {
  if (!fs::exists("/usr/bin/gsettings")) GTEST_SKIP() << "gsettings is not installed";
  // Settings that would give a proxy, were the schema there to read them.
  TempDir config;
  fs::create_directories(fs::path(config.path()) / "glib-2.0" / "settings");
  std::ofstream(fs::path(config.path()) / "glib-2.0" / "settings" / "keyfile")
      << "[system/proxy]\nmode='manual'\n\n[system/proxy/http]\nhost='proxy.lan'\nport=3128\n";
  TempDir noSchemas;
  GSettingsOverlay overlay({{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", config.path()},
                            {"XDG_DATA_DIRS", noSchemas.path()}, {"GSETTINGS_SCHEMA_DIR", noSchemas.path()}});
  EXPECT_EQ(systemProxyEnvironment(), (std::map<std::string, std::string>{}));
}

}  // namespace
}  // namespace tovarin
