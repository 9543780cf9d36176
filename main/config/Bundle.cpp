#include "main/config/Bundle.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovarin {
namespace fs = std::filesystem;

Bundle Bundle::main() {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return Bundle();
  return forProgram(program.string());
}

Bundle Bundle::forProgram(const std::string& programPath) {
  std::error_code error;
  fs::path resources = fs::path(programPath).parent_path().parent_path() / "share" / "the-tovarin";
  if (!fs::is_directory(resources, error)) return Bundle();
  return Bundle(resources.lexically_normal().string());
}

Bundle::Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)), info_(Json::object()) {
  if (resourcePath_.empty()) return;
  std::ifstream file(fs::path(resourcePath_) / "Info.json", std::ios::binary);
  if (!file) return;
  std::stringstream text;
  text << file.rdbuf();
  auto parsed = parseJson(text.str());
  if (parsed && parsed->is_object()) info_ = std::move(*parsed);
}

std::optional<std::string> Bundle::resource(const std::string& name, const std::string& type,
                                            const std::string& subdirectory) const {
  if (resourcePath_.empty() || name.empty()) return std::nullopt;
  fs::path path = fs::path(resourcePath_);
  if (!subdirectory.empty()) path /= subdirectory;
  path /= type.empty() ? name : name + "." + type;
  std::error_code error;
  if (!fs::exists(path, error)) return std::nullopt;
  return path.string();
}

std::optional<std::string> Bundle::infoString(const std::string& key) const { return jsonString(info_, key); }

}  // namespace tovarin
