#include "tests/support/InstalledBundle.h"

#include <fstream>

namespace tovarin {
namespace fs = std::filesystem;

fs::path InstalledBundle::layOut(const std::string& root, std::string_view version) {
  const fs::path resources = fs::path(root) / "share" / "the-tovarin";
  fs::create_directories(resources / "tools");
  fs::create_directories(fs::path(root) / "home");
  std::ofstream(resources / "Info.json") << R"({"CFBundleShortVersionString":")" << version << R"("})";
  fs::copy_file(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server.mjs", resources / "tools" / "server.mjs");
  return resources;
}

}  // namespace tovarin
