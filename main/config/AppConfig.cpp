#include "main/config/AppConfig.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Json.h"
#include "base/Log.h"
#include "base/ProcessEnvironment.h"

namespace tovarin {
namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::stringstream text;
  text << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return text.str();
}

}  // namespace

AppConfig AppConfig::load(const Bundle& bundle, const std::string& currentDirectory) {
  AppConfig config;
  config.projectRoot = currentDirectory;
  config.bundle = bundle;
  auto path = bundle.resource("config", "json");
  if (!path) return config;
  auto text = readFile(*path);
  if (!text) return config;
  auto json = parseJson(*text);
  if (!json || !json->is_object()) return config;
  if (auto root = jsonString(*json, "projectRoot")) config.projectRoot = *root;
  if (auto port = jsonInteger(*json, "port")) config.port = *port;
  if (auto autoStart = jsonBool(*json, "autoStartServer")) config.autoStartServer = *autoStart;
  return config;
}

AppConfig AppConfig::load() {
  std::error_code error;
  fs::path current = fs::current_path(error);
  return load(Bundle::main(), error ? std::string(".") : current.string());
}

std::string AppConfig::serverScript() const {
  if (auto script = bundle.resource("server", "mjs", "tools")) return *script;
  return projectRoot + "/tools/server.mjs";
}

std::string AppConfig::serverRoot() const {
  if (bundle.resource("server", "mjs", "tools") && !bundle.resourcePath().empty()) return bundle.resourcePath();
  return projectRoot;
}

std::optional<std::string> AppConfig::bundledNode() const {
  for (const char* name : {"node-arm64", "node"}) {
    auto path = bundle.resource(name, "", "runtime");
    if (path && isExecutableFile(*path)) return path;
  }
  return std::nullopt;
}

std::string AppConfig::standardDataHome() {
  auto xdg = ProcessEnvironment::shared().get("XDG_DATA_HOME");
  if (xdg && !xdg->empty() && (*xdg)[0] == '/') return *xdg;
  std::string home = ProcessEnvironment::shared().homeDirectory();
  if (home.empty()) {
    // Nowhere to keep the user's data at all; carrying on would scatter it.
    log("no home directory: cannot place the data directory");
    std::abort();
  }
  return home + "/.local/share";
}

std::string AppConfig::dataDirectory() const {
  fs::path directory = fs::path(dataHome.empty() ? standardDataHome() : dataHome) / "TheTovarin";
  std::error_code ignored;
  fs::create_directories(directory, ignored);
  return directory.string();
}

}  // namespace tovarin
