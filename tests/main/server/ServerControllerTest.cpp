#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "main/server/ServerController.h"
#include "tests/support/FakeHttpClient.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

void placeFile(const fs::path& path, bool executable) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "#!/bin/sh\n";
  ::chmod(path.c_str(), executable ? 0755 : 0644);
}

// The runtime search: bundle runtime/, then the fixed paths in order, then the last
// entry (plain string order) of ~/.nvm/versions/node, and nothing else.
TEST(ServerControllerTest, RuntimeSearchFirstHitWinsInTheDocumentedOrder) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, bool>> files;  // relative path, executable
    std::optional<std::string> expected;              // relative path
  };
  const Case cases[] = {
      {"bundle first", {{"bundle/runtime/node", true}, {"fixed/a", true}}, "bundle/runtime/node"},
      {"fixed paths in order", {{"fixed/b", true}, {"fixed/c", true}}, "fixed/b"},
      {"non-executable fixed path skipped", {{"fixed/a", false}, {"fixed/c", true}}, "fixed/c"},
      {"nvm newest by plain order",
       {{"home/.nvm/versions/node/v18.20.0/bin/node", true}, {"home/.nvm/versions/node/v20.11.1/bin/node", true}},
       "home/.nvm/versions/node/v20.11.1/bin/node"},
      {"nvm v9 sorts after v20",
       {{"home/.nvm/versions/node/v9.11.2/bin/node", true}, {"home/.nvm/versions/node/v20.11.1/bin/node", true}},
       "home/.nvm/versions/node/v9.11.2/bin/node"},
      {"only the last nvm entry is tried",
       {{"home/.nvm/versions/node/v18.20.0/bin/node", true}, {"home/.nvm/versions/node/v20.11.1/bin/node", false}},
       std::nullopt},
      {"last nvm entry without a node", {{"home/.nvm/versions/node/v18.20.0/bin/node", true},
                                         {"home/.nvm/versions/node/v20.11.1/README", false}},
       std::nullopt},
      {"fixed before nvm", {{"fixed/c", true}, {"home/.nvm/versions/node/v20.11.1/bin/node", true}}, "fixed/c"},
      {"nothing anywhere", {}, std::nullopt},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    TempDir root;
    const fs::path base(root.path());
    fs::create_directories(base / "bundle");
    fs::create_directories(base / "home");
    for (const auto& [relative, executable] : testCase.files) placeFile(base / relative, executable);

    AppConfig config = AppConfig::load(Bundle((base / "bundle").string()), root.path());
    ServerController::Options options;
    options.fixedNodePaths = {(base / "fixed/a").string(), (base / "fixed/b").string(), (base / "fixed/c").string()};
    options.homeDirectory = (base / "home").string();
    ManualLoop loop;
    auto controller = ServerController::create(config, std::make_shared<FakeHttpClient>(), loop, options);
    auto expected = testCase.expected ? std::optional((base / *testCase.expected).string()) : std::nullopt;
    EXPECT_EQ(controller->findNodeRuntime(), expected);
  }
}

TEST(ServerControllerTest, WithoutARuntimeStartLaunchesNothing) {
  TempDir root;
  ServerController::Options options;
  options.fixedNodePaths = {};
  options.homeDirectory = root.path();
  ManualLoop loop;
  AppConfig config(root.path(), 1, true);
  config.dataHome = root.path();
  auto controller = ServerController::create(config, std::make_shared<FakeHttpClient>(), loop, options);
  EXPECT_FALSE(controller->start());
  EXPECT_FALSE(controller->childIsRunning());
  EXPECT_EQ(controller->childPid(), -1);
}

TEST(ServerControllerTest, InstanceNonceIsAnUpperCaseUuidNewForEveryController) {
  ManualLoop loop;
  auto http = std::make_shared<FakeHttpClient>();
  auto first = ServerController::create(AppConfig(), http, loop);
  auto second = ServerController::create(AppConfig(), http, loop);
  for (const std::string& nonce : {first->instanceNonce(), second->instanceNonce()}) {
    ASSERT_EQ(nonce.size(), 36u) << nonce;
    for (size_t i = 0; i < nonce.size(); ++i) {
      if (i == 8 || i == 13 || i == 18 || i == 23) {
        EXPECT_EQ(nonce[i], '-') << nonce;
      } else {
        EXPECT_NE(std::string("0123456789ABCDEF").find(nonce[i]), std::string::npos) << nonce;
      }
    }
    EXPECT_EQ(nonce[14], '4') << nonce;
  }
  EXPECT_NE(first->instanceNonce(), second->instanceNonce());
}

TEST(ServerControllerTest, AppVersionComesFromTheBundleElseDefault) {
  TempDir root;
  ManualLoop loop;
  auto http = std::make_shared<FakeHttpClient>();
  std::ofstream(root.path() + "/Info.json") << R"({"CFBundleShortVersionString":"3.1.4"})";
  AppConfig withVersion = AppConfig::load(Bundle(root.path()), "/");
  EXPECT_EQ(ServerController::create(withVersion, http, loop)->appVersion(), "3.1.4");
  std::ofstream(root.path() + "/Info.json") << R"({"CFBundleShortVersionString":3})";
  AppConfig numeric = AppConfig::load(Bundle(root.path()), "/");
  EXPECT_EQ(ServerController::create(numeric, http, loop)->appVersion(), "0.2.0");
  EXPECT_EQ(ServerController::create(AppConfig(), http, loop)->appVersion(), "0.2.0");
}

}  // namespace
}  // namespace tovarin
