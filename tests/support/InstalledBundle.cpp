#include "tests/support/InstalledBundle.h"

#include <fstream>

namespace tovarin {
namespace fs = std::filesystem;

namespace {

// The stand-in server of the source tree, with the feature modules it imports.
void copyServer(const fs::path& resources, bool withModules) {
  const fs::path tools = fs::path(TOVARIN_SOURCE_DIR) / "tools";
  fs::create_directories(resources / "tools");
  fs::copy_file(tools / "server.mjs", resources / "tools" / "server.mjs");
  if (withModules) fs::copy(tools / "server", resources / "tools" / "server", fs::copy_options::recursive);
}

}  // namespace

fs::path InstalledBundle::layOut(const std::string& root, std::string_view version) {
  const fs::path resources = fs::path(root) / "share" / "the-tovarin";
  fs::create_directories(fs::path(root) / "home");
  copyServer(resources, false);
  std::ofstream(resources / "Info.json") << R"({"CFBundleShortVersionString":")" << version << R"("})";
  return resources;
}

fs::path InstalledBundle::layOutProgram(const fs::path& stage, const fs::path& prefix, uint16_t port) {
  const fs::path program = prefix / "bin" / "TheTovarin";
  fs::create_directories(program.parent_path());
  fs::copy_file(stage / "bin" / "TheTovarin", program);
  const fs::path resources = prefix / "share" / "the-tovarin";
  copyServer(resources, true);
  for (const char* file : {"Info.json", "TheTovarinMark.svg"}) {
    fs::copy_file(stage / "share" / "the-tovarin" / file, resources / file);
  }
  std::ofstream(resources / "config.json") << R"({"port":)" << port << R"(,"autoStartServer":true})";
  const fs::path libraries = prefix / "lib" / "the-tovarin";
  fs::create_directories(libraries);
  fs::create_directory_symlink(stage / "lib" / "the-tovarin" / "webext", libraries / "webext");
  fs::create_symlink(stage / "lib" / "the-tovarin" / "libtovarin-ocr.so", libraries / "libtovarin-ocr.so");
  return program;
}

}  // namespace tovarin
