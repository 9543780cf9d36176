#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tovarin {

// Bundles laid out under a test's root as the package installs them.
struct InstalledBundle {
  // For the tests that run the server controller against the stand-in server as a real
  // child: <root>/share/the-tovarin with an Info.json naming version and the stand-in
  // server at tools/server.mjs, and an empty <root>/home; returns the resources folder.
  static std::filesystem::path layOut(const std::string& root, std::string_view version);

  // The program of a stage under <prefix>: bin/TheTovarin copied (the program finds its
  // bundle from its own path, so it is not linked), share/the-tovarin with the stage's
  // Info.json and mark, the stand-in server and its modules, and a config.json that
  // names the port, lib/the-tovarin linked to the stage's. Returns the program's path.
  static std::filesystem::path layOutProgram(const std::filesystem::path& stage, const std::filesystem::path& prefix,
                                             uint16_t port);
};

}  // namespace tovarin
