#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "main/config/Bundle.h"
#include "main/config/LocalServerOrigin.h"

namespace tovarin {

// The application's configuration, read once at launch from the bundle's config.json,
// and everything derived from it. A value: copied freely, never changed after loading.
struct AppConfig {
  AppConfig() = default;
  AppConfig(std::string projectRoot, int64_t port, bool autoStartServer)
      : projectRoot(std::move(projectRoot)), port(port), autoStartServer(autoStartServer) {}

  std::string projectRoot = ".";  // holds tools/server.mjs when the bundle does not
  int64_t port = 4173;
  bool autoStartServer = true;
  // Where the derived paths look for resources; no resource directory by default.
  Bundle bundle;
  // The base of the data directory; empty means the user's standard one.
  std::string dataHome;

  // Never fails: a missing, unreadable or malformed file, and each bad key on its own,
  // give the defaults (projectRoot = currentDirectory, 4173, true).
  static AppConfig load(const Bundle& bundle, const std::string& currentDirectory);
  // The program's: the main bundle and the process's current directory.
  static AppConfig load();

  std::string mainURL() const { return origin() + "/index.html"; }
  std::string widgetURL() const { return origin() + "/widget.html"; }
  std::string healthURL() const { return origin() + "/api/health"; }
  std::string dataURL() const { return origin() + "/api/data"; }
  std::string origin() const { return localServerOrigin(port); }

  // The bundle's tools/server.mjs when it has one, else projectRoot + "/tools/server.mjs".
  std::string serverScript() const;
  // The bundle's resource directory when it holds the script, else projectRoot.
  std::string serverRoot() const;
  // The bundle's runtime/node-arm64, then runtime/node, when an executable file.
  std::optional<std::string> bundledNode() const;
  // <data home>/TheTovarin, created (with its parents) on every read; a failure to
  // create it is left for its writers to find.
  std::string dataDirectory() const;
  // $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
  static std::string standardDataHome();
};

}  // namespace tovarin
