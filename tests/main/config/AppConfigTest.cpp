#include "main/config/AppConfig.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text, bool executable = false) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), executable ? 0755 : 0644);
}

TEST(AppConfigTest, LoadTakesEachWellTypedKeyAndFallsBackKeyByKey) {
  struct Case {
    const char* name;
    std::optional<std::string> configText;  // nullopt: no config.json at all
    std::string projectRoot;
    int64_t port;
    bool autoStart;
  };
  const std::string cwd = "/current/dir";
  const Case cases[] = {
      {"no file", std::nullopt, cwd, 4173, true},
      {"empty file", "", cwd, 4173, true},
      {"not JSON", "port=5000", cwd, 4173, true},
      {"an array", R"([{"port":5000}])", cwd, 4173, true},
      {"a string", R"("port")", cwd, 4173, true},
      {"all three", R"({"projectRoot":"/srv/tovarin","port":5000,"autoStartServer":false})", "/srv/tovarin", 5000, false},
      {"port as a string", R"({"port":"5000"})", cwd, 4173, true},
      {"port with a zero fraction", R"({"port":5000.0})", cwd, 5000, true},
      {"port with a fraction", R"({"port":5000.5})", cwd, 4173, true},
      {"port as a Boolean", R"({"port":true})", cwd, 4173, true},
      {"port too large for 64 bits", R"({"port":1e30})", cwd, 4173, true},
      {"port out of TCP range is kept", R"({"port":70000})", cwd, 70000, true},
      {"autoStart false alone", R"({"autoStartServer":false})", cwd, 4173, false},
      {"autoStart as a string", R"({"autoStartServer":"false"})", cwd, 4173, true},
      {"autoStart as a number", R"({"autoStartServer":0})", cwd, 4173, true},
      {"numeric projectRoot", R"({"projectRoot":5,"port":4000})", cwd, 4000, true},
      {"other keys ignored", R"({"extra":{"port":1},"port":4174})", cwd, 4174, true},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    TempDir bundleDir;
    if (testCase.configText) writeFile(fs::path(bundleDir.path()) / "config.json", *testCase.configText);
    AppConfig config = AppConfig::load(Bundle(bundleDir.path()), cwd);
    EXPECT_EQ(config.projectRoot, testCase.projectRoot);
    EXPECT_EQ(config.port, testCase.port);
    EXPECT_EQ(config.autoStartServer, testCase.autoStart);
  }
}

TEST(AppConfigTest, AddressesAreOnTheLoopbackPort) {
  AppConfig config;
  config.port = 5123;
  EXPECT_EQ(config.mainURL(), "http://127.0.0.1:5123/index.html");
  EXPECT_EQ(config.widgetURL(), "http://127.0.0.1:5123/widget.html");
  EXPECT_EQ(config.healthURL(), "http://127.0.0.1:5123/api/health");
  EXPECT_EQ(config.dataURL(), "http://127.0.0.1:5123/api/data");
}

TEST(AppConfigTest, ServerScriptAndRootComeFromTheBundleWhenItHoldsTheScript) {
  TempDir bundleDir;
  writeFile(fs::path(bundleDir.path()) / "config.json", R"({"projectRoot":"/elsewhere"})");
  AppConfig without = AppConfig::load(Bundle(bundleDir.path()), "/cwd");
  EXPECT_EQ(without.serverScript(), "/elsewhere/tools/server.mjs");
  EXPECT_EQ(without.serverRoot(), "/elsewhere");

  writeFile(fs::path(bundleDir.path()) / "tools" / "server.mjs", "// server");
  AppConfig with = AppConfig::load(Bundle(bundleDir.path()), "/cwd");
  EXPECT_EQ(with.serverScript(), bundleDir.path() + "/tools/server.mjs");
  EXPECT_EQ(with.serverRoot(), bundleDir.path());

  AppConfig noBundle{"/root-only", 4173, true};
  EXPECT_EQ(noBundle.serverScript(), "/root-only/tools/server.mjs");
  EXPECT_EQ(noBundle.serverRoot(), "/root-only");
}

TEST(AppConfigTest, BundledNodePrefersAnExecutableNodeArm64ThenNode) {
  struct Case {
    const char* name;
    int arm64;  // 0 absent, 1 plain file, 2 executable, 3 a directory
    int node;
    std::optional<std::string> expected;  // relative to the bundle
  };
  const Case cases[] = {
      {"both executable", 2, 2, "runtime/node-arm64"},
      {"arm64 not executable", 1, 2, "runtime/node"},
      {"only node", 0, 2, "runtime/node"},
      {"arm64 is a directory", 3, 2, "runtime/node"},
      {"neither executable", 1, 1, std::nullopt},
      {"no runtime folder", 0, 0, std::nullopt},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    TempDir bundleDir;
    const fs::path runtime = fs::path(bundleDir.path()) / "runtime";
    auto place = [&](const char* name, int kind) {
      if (kind == 1 || kind == 2) writeFile(runtime / name, "#!/bin/sh\n", kind == 2);
      if (kind == 3) fs::create_directories(runtime / name);
    };
    place("node-arm64", testCase.arm64);
    place("node", testCase.node);
    AppConfig config = AppConfig::load(Bundle(bundleDir.path()), "/cwd");
    auto expected = testCase.expected ? std::optional(bundleDir.path() + "/" + *testCase.expected) : std::nullopt;
    EXPECT_EQ(config.bundledNode(), expected);
  }
}

TEST(AppConfigTest, DataDirectoryIsCreatedUnderTheDataHome) {
  TempDir home;
  AppConfig config;
  config.dataHome = home.path() + "/deep/share";
  const std::string expected = home.path() + "/deep/share/TheTovarin";
  EXPECT_EQ(config.dataDirectory(), expected);
  EXPECT_TRUE(fs::is_directory(expected));
  fs::remove_all(expected);
  EXPECT_EQ(config.dataDirectory(), expected);  // made again on every read
  EXPECT_TRUE(fs::is_directory(expected));
}

TEST(BundleTest, ResourcesAndInfoKeys) {
  TempDir bundleDir;
  const fs::path root(bundleDir.path());
  writeFile(root / "Info.json", R"({"CFBundleShortVersionString":"1.4.2","CFBundleDisplayName":"岚笺","Build":7})");
  writeFile(root / "GoogleOAuthClient.json", "{}");
  writeFile(root / "tools" / "server.mjs", "");
  Bundle bundle(bundleDir.path());
  EXPECT_EQ(bundle.resourcePath(), bundleDir.path());
  EXPECT_EQ(bundle.infoString("CFBundleShortVersionString"), "1.4.2");
  EXPECT_EQ(bundle.infoString("CFBundleDisplayName"), "岚笺");
  EXPECT_EQ(bundle.infoString("Build"), std::nullopt);  // not a string
  EXPECT_EQ(bundle.infoString("Missing"), std::nullopt);
  EXPECT_EQ(bundle.resource("GoogleOAuthClient", "json"), bundleDir.path() + "/GoogleOAuthClient.json");
  EXPECT_EQ(bundle.resource("server", "mjs", "tools"), bundleDir.path() + "/tools/server.mjs");
  EXPECT_EQ(bundle.resource("server", "mjs"), std::nullopt);
  EXPECT_EQ(bundle.resource("", "json"), std::nullopt);

  for (const char* info : {"not json", "[\"CFBundleShortVersionString\"]"}) {
    SCOPED_TRACE(info);
    writeFile(root / "Info.json", info);
    EXPECT_EQ(Bundle(bundleDir.path()).infoString("CFBundleShortVersionString"), std::nullopt);
  }
  Bundle none;
  EXPECT_EQ(none.resourcePath(), "");
  EXPECT_EQ(none.resource("config", "json"), std::nullopt);
}

TEST(BundleTest, FoundBesideTheProgramInTheInstalledLayout) {
  TempDir prefix;
  const fs::path root(prefix.path());
  writeFile(root / "bin" / "TheTovarin", "", true);
  EXPECT_EQ(Bundle::forProgram((root / "bin" / "TheTovarin").string()).resourcePath(), "");  // no share folder yet
  writeFile(root / "share" / "the-tovarin" / "config.json", R"({"port":4999})");
  Bundle bundle = Bundle::forProgram((root / "bin" / "TheTovarin").string());
  EXPECT_EQ(bundle.resourcePath(), (root / "share" / "the-tovarin").string());
  EXPECT_EQ(AppConfig::load(bundle, "/").port, 4999);
}

}  // namespace
}  // namespace tovarin
