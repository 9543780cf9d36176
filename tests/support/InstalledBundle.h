#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tovarin {

// A bundle laid out under a test's root as the package installs it, for the tests that
// run the server controller against the stand-in server as a real child.
struct InstalledBundle {
  // Makes <root>/share/the-tovarin with an Info.json naming version and the stand-in
  // server at tools/server.mjs, and an empty <root>/home; returns the resources folder.
  static std::filesystem::path layOut(const std::string& root, std::string_view version);
};

}  // namespace tovarin
